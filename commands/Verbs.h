// The verbs: first words that run a fixed task instead of a command sequence. This table
// is the one list of them: the entry runs them from it, --strict checks their numbers
// against it, suggestions and the prompt's completion offer its names, files know from
// it which lines are answers, and --help, the manual page and the bash completion are
// made from it.
#pragma once

#include <string>
#include <vector>

struct Verb {
    /// Upper case, as the interpreter compares words.
    const char* name;
    /// The numbers it takes, min to max; 0 and 0 for a verb that takes none.
    int min;
    int max;
    /// Echo the verb and its number on standard output before anything else happens.
    bool echoesNumber;
    /// How many answers it reads from standard input (the lines after it, in a file read
    /// from standard input).
    int answers;
    /// Its output ends with the way back, without a line end.
    bool endsWithWayBack;
    /// What it does, in one line, for --help and the manual page.
    const char* help;
    /// Runs it; a number outside min to max is refused by the task itself, with no need
    /// for a port.
    void (*run)(int number);

    bool takesNumber() const { return max > 0; }
    /// True when running it with `number` strokes keys (and so needs the port).
    bool strokesKeysFor(int number) const {
        return takesNumber() && number >= min && number <= max;
    }
};

/// Every verb, in the order --help lists them.
const std::vector<Verb>& verbTable();

/// The verb named `word` (any letter case), or nullptr.
const Verb* findVerb(const std::string& word);

/// Offset into `text`, from `from` on, just past the last of `count` answers: the words
/// a calibration reads as its answers, white space (line ends included) between them.
/// The end of `text` when it holds fewer.
std::size_t answersEnd(const std::string& text, std::size_t from, int count);
