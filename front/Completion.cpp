#include "front/Completion.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <vector>

#include "commands/CompoundCommands.h"
#include "commands/Verbs.h"
#include "keypad/KeyCodes.h"
#include "keypad/Red10.h"

std::set<std::string> completionWords() {
    instance();  // fills the tables
    std::set<std::string> words{"r", "rd"};
    auto add = [&words](std::string name) {
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        words.insert(name);
    };
    for (const auto& entry : keyCodes) {
        add(entry.first);
    }
    for (const auto& entry : compoundCommands) {
        add(entry.first);
    }
    for (const Verb& verb : verbTable()) {
        add(verb.name);
    }
    return words;
}

#ifdef PMC10_HAVE_LIBEDIT
unsigned char completeWord(EditLine* editLine, const std::set<std::string>& words) {
    const LineInfo* const line = el_line(editLine);
    const char* start = line->cursor;
    while (start > line->buffer && start[-1] != ' ' && start[-1] != '\t') {
        --start;
    }
    std::string prefix(start, line->cursor);
    for (char& c : prefix) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::vector<std::string> fits;
    for (const std::string& word : words) {
        if (word.compare(0, prefix.size(), prefix) == 0) {
            fits.push_back(word);
        }
    }
    if (fits.empty()) {
        return CC_REFRESH_BEEP;
    }
    if (fits.size() == 1) {
        el_insertstr(editLine, (fits[0].substr(prefix.size()) + " ").c_str());
        return CC_REFRESH;
    }
    std::size_t common = prefix.size();
    while (common < fits[0].size() &&
           std::all_of(fits.begin(), fits.end(), [&](const std::string& word) {
               return common < word.size() && word[common] == fits[0][common];
           })) {
        ++common;
    }
    if (common > prefix.size()) {
        el_insertstr(editLine, fits[0].substr(prefix.size(), common - prefix.size()).c_str());
        return CC_REFRESH;
    }
    std::cout << '\n';
    for (const std::string& word : fits) {
        std::cout << word << "  ";
    }
    std::cout << std::endl;
    return CC_REDISPLAY;
}
#endif
