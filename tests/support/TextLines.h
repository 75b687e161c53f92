// Splits captured output into its lines, for tests that check a screen line by line.
#pragma once

#include <sstream>
#include <string>
#include <vector>

/// The lines of `text`, without their line ends.
inline std::vector<std::string> textLines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}
