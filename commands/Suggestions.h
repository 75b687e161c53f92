// Near misses for an unknown command word: the keys, menu words and verbs that a typo
// most likely meant, found by edit distance (a swap of two neighbouring letters counts
// as one edit, as it is one slip of the finger).
#pragma once

#include <string>
#include <vector>

/// Edits (insert, delete, replace, swap of neighbours) that turn `a` into `b`.
int editDistance(const std::string& a, const std::string& b);

/// Up to three known words near the upper-cased `word`, nearest first (ties in name
/// order). None for short words (under three letters) and hex literals, where every
/// other short word is "near".
std::vector<std::string> suggestionsFor(const std::string& word);

/// "did you mean A, B?" for `word` (printed as a message), or empty text when nothing is
/// near.
std::string suggestionLine(const std::string& word);

/// Writes suggestionLine(word) to standard error as a message when there is one.
void printSuggestion(const std::string& word);
