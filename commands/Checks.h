// The strict reading of a command line: every word is checked before anything reaches
// the port, and each problem is one line on standard error. A line with no problems runs
// exactly as it would without the check.
#pragma once

#include <string>
#include <vector>

namespace strict {

/// The problems of one command line (the words as typed, `r`/`rd` or a verb first), each
/// a "strict: ..." line without its line end, a "did you mean ...?" line after an unknown
/// word where a known one is near. `location` ("FILE:LINE") goes in front of each problem
/// when given. Empty when the line is good.
std::vector<std::string> problems(const std::vector<std::string>& words,
                                  const std::string& location = "");

/// Writes problems(words, location) to standard error, each as a message; returns how
/// many problems (the suggestion lines not counted) there were.
int report(const std::vector<std::string>& words, const std::string& location = "");

}  // namespace strict
