// What the manual page tells users about the key words, read from its source: data
// written apart from the tables in the code, for the tests to hold the code to.
#pragma once

#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

/// The lines of the manual page's section `heading` (".SH KEYS").
inline std::vector<std::string> manualSection(const std::string& heading) {
    std::ifstream page(PMC10_SOURCE_DIR "/dist/pmc10.1.in");
    std::vector<std::string> lines;
    bool inside = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH ", 0) == 0) {
            inside = line == heading;
        } else if (inside) {
            lines.push_back(line);
        }
    }
    return lines;
}

/// The KEYS table: every key name with its code ("MENU, NEXT<TAB>0xfb", "\-" for "-").
inline std::map<std::string, int> manualKeys() {
    static const std::regex kRow(R"(^(.+)\t0x([0-9a-f]{2})$)");
    std::map<std::string, int> keys;
    for (const std::string& line : manualSection(".SH KEYS")) {
        std::smatch row;
        if (!std::regex_match(line, row, kRow)) {
            continue;
        }
        const std::string names = std::regex_replace(row[1].str(), std::regex(R"(\\-)"), "-");
        for (std::size_t at = 0; at <= names.size();) {
            const std::size_t comma = std::min(names.find(", ", at), names.size());
            keys[names.substr(at, comma - at)] = std::stoi(row[2], nullptr, 16);
            at = comma + 2;
        }
    }
    return keys;
}

/// The names of the COMPOUND COMMANDS section, in the manual's order.
inline std::vector<std::string> manualCompoundNames() {
    static const std::regex kName("[A-Z0-9]+");
    std::vector<std::string> names;
    for (const std::string& line : manualSection(".SH COMPOUND COMMANDS")) {
        if (!std::regex_match(line, std::regex("[A-Z0-9]+(, [A-Z0-9]+)*,?"))) {
            continue;
        }
        for (std::sregex_iterator it(line.begin(), line.end(), kName), end; it != end; ++it) {
            names.push_back(it->str());
        }
    }
    return names;
}
