// What the manual page tells users about the key words, read from its source: data
// written apart from the tables in the code, for the tests to hold the code to.
#pragma once

#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

/// The words of the manual page's section `heading` on the lines that `line` matches
/// whole: each match of `word`, "\-" read as "-".
inline std::vector<std::string> manualWords(const std::string& heading, const std::regex& line,
                                            const std::regex& word) {
    std::ifstream page(PMC10_SOURCE_DIR "/dist/pmc10.1.in");
    std::vector<std::string> words;
    bool inside = false;
    for (std::string text; std::getline(page, text);) {
        inside = text.rfind(".SH ", 0) == 0 ? text == heading : inside;
        text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
        for (std::sregex_iterator it(text.begin(), text.end(), word), end;
             inside && std::regex_match(text, line) && it != end; ++it) {
            words.push_back(it->str());
        }
    }
    return words;
}

/// The KEYS table: every key name with its code ("MENU, NEXT<TAB>0xfb").
inline std::map<std::string, int> manualKeys() {
    std::map<std::string, int> keys;
    std::vector<std::string> names;
    for (const std::string& word :
         manualWords(".SH KEYS", std::regex(".+\t0x[0-9a-f]{2}"), std::regex("[^ ,\t]+"))) {
        if (word.rfind("0x", 0) != 0) {
            names.push_back(word);
            continue;
        }
        for (const std::string& name : names) {
            keys[name] = std::stoi(word, nullptr, 16);
        }
        names.clear();
    }
    return keys;
}

/// The names of the COMPOUND COMMANDS section.
inline std::vector<std::string> manualCompoundNames() {
    return manualWords(".SH COMPOUND COMMANDS", std::regex("[A-Z0-9]+(, [A-Z0-9]+)*,?"),
                       std::regex("[A-Z0-9]+"));
}
