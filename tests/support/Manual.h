// What the manual page tells users about the key words, read from its source: data
// written apart from the tables in the code, for the tests to hold the code to.
#pragma once

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/TextLines.h"

/// The lines of the manual page's section `heading`, "\-" read as "-".
inline std::vector<std::string> manualSection(const std::string& heading) {
    std::ifstream page(PMC10_SOURCE_DIR "/dist/pmc10.1.in");
    std::vector<std::string> lines;
    bool inside = false;
    for (std::string text; std::getline(page, text);) {
        inside = text.rfind(".SH ", 0) == 0 ? text == heading : inside;
        for (std::size_t at = 0; (at = text.find("\\-", at)) != std::string::npos; ++at) {
            text.erase(at, 1);
        }
        if (inside) {
            lines.push_back(text);
        }
    }
    return lines;
}

/// The KEYS table: every key name with its code ("MENU, NEXT<TAB>0xfb").
inline std::map<std::string, int> manualKeys() {
    std::map<std::string, int> keys;
    for (const std::string& line : manualSection(".SH KEYS")) {
        const std::size_t tab = line.size() - 5;
        if (line.size() < 6 || line.compare(tab, 3, "\t0x") != 0 ||
            line.find_first_not_of("0123456789abcdef", tab + 3) != std::string::npos) {
            continue;
        }
        Scan names(std::string_view(line).substr(0, tab));
        for (std::string name; names.span(" ,\t", nullptr, 0) && names.until(" ,\t", &name);) {
            keys[name] = std::stoi(line.substr(tab + 1), nullptr, 16);
        }
    }
    return keys;
}

/// The names of the COMPOUND COMMANDS section: its lines that list nothing else
/// ("EDITPATCH, EDITPATCHNR,").
inline std::vector<std::string> manualCompoundNames() {
    std::vector<std::string> names;
    for (const std::string& line : manualSection(".SH COMPOUND COMMANDS")) {
        Scan scan(line);
        std::vector<std::string> listed(1);
        while (scan.span("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", &listed.back()) &&
               scan.take(", ")) {
            listed.emplace_back();
        }
        scan.take(",");
        if (!listed.back().empty() && scan.rest().empty()) {
            names.insert(names.end(), listed.begin(), listed.end());
        }
    }
    return names;
}
