#include "commands/Suggestions.h"

#include <algorithm>
#include <iostream>
#include <map>

#include "commands/CompoundCommands.h"
#include "commands/Verbs.h"
#include "keypad/KeyCodes.h"
#include "platform/Message.h"

namespace {

constexpr std::size_t kMaxSuggestions = 3;

/// How far a word may be from a known one and still be taken for a typo of it.
int thresholdFor(std::size_t length) {
    return length < 3 ? 0 : length <= 4 ? 1 : 2;
}

}  // namespace

int editDistance(const std::string& a, const std::string& b) {
    // Optimal string alignment: three rows of the classic table are enough.
    const std::size_t n = b.size();
    std::vector<int> before(n + 1), previous(n + 1), current(n + 1);
    for (std::size_t j = 0; j <= n; ++j) {
        previous[j] = static_cast<int>(j);
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= n; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                current[j] = std::min(current[j], before[j - 2] + 1);
            }
        }
        before.swap(previous);
        previous.swap(current);
    }
    return previous[n];
}

std::vector<std::string> suggestionsFor(const std::string& word) {
    const int threshold = thresholdFor(word.size());
    if (threshold == 0 || word.rfind("0X", 0) == 0) {
        return {};
    }
    std::map<std::string, int> near;  // name order breaks ties
    auto consider = [&](const std::string& name) {
        // Lengths apart by more than the threshold cannot be near: skip the table work
        // (a word may be a hundred thousand letters long).
        const std::size_t longer = std::max(name.size(), word.size());
        const std::size_t shorter = std::min(name.size(), word.size());
        if (name == word || longer - shorter > static_cast<std::size_t>(threshold)) {
            return;
        }
        const int distance = editDistance(word, name);
        if (distance <= threshold) {
            near.emplace(name, distance);
        }
    };
    for (const auto& key : keyCodes) {
        consider(key.first);
    }
    for (const auto& compound : compoundCommands) {
        consider(compound.first);
    }
    for (const Verb& verb : verbTable()) {
        consider(verb.name);
    }
    std::vector<std::pair<std::string, int>> ranked(near.begin(), near.end());
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& x, const auto& y) { return x.second < y.second; });
    std::vector<std::string> names;
    for (std::size_t i = 0; i < ranked.size() && i < kMaxSuggestions; ++i) {
        names.push_back(ranked[i].first);
    }
    return names;
}

std::string suggestionLine(const std::string& word) {
    const std::vector<std::string> names = suggestionsFor(word);
    if (names.empty()) {
        return {};
    }
    std::string line = "did you mean ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        line += (i == 0 ? "" : ", ") + names[i];
    }
    return line + "?";
}

void printSuggestion(const std::string& word) {
    const std::string line = suggestionLine(word);
    if (!line.empty()) {
        std::cerr << message(line) << std::endl;
    }
}
