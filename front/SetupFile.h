// The set-up files of -f FILE (or "-", standard input): read whole and checked before
// their first line runs, and taken apart into lines of words.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace setup_file {

/// One line of a file that holds words: its words (comment and line end gone), and where
/// it and the next line begin. Lines without words are not kept: memory grows with the
/// commands, not with the lines.
struct FileLine {
    int number;
    std::vector<std::string> words;
    std::size_t start;
    std::size_t nextStart;
};

/// A file read whole: its name for messages, its text and its lines that hold words.
struct Script {
    std::string name;
    std::string text;
    std::vector<FileLine> lines;
};

/// The words of a line, without its comment.
std::vector<std::string> splitWords(const std::string& line);

/// Reads and checks the whole file; empty when it may run, else the reason.
std::string load(const std::string& file, Script& script);

}  // namespace setup_file
