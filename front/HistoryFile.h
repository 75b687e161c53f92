// The prompt's history kept in a file between runs: read when the prompt starts, saved
// after each line, and only where the file and its folder are the user's own.
#pragma once

#ifdef PMC10_HAVE_LIBEDIT
#include <histedit.h>

#include <string>

namespace history_file {

/// Reads the history saved at `path` (LineEditor::historyPath()) into `kept`, if any.
void load(History* kept, const std::string& path);

/// Saves `kept` at `path`, making its folders first; nothing where it may not be saved.
void save(History* kept, const std::string& path);

}  // namespace history_file
#endif
