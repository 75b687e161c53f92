// Text for tests: captured output split into lines, a screen's fingerprint, a file's text.
#pragma once

#include <cstdint>
#include <fstream>
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

/// A 64-bit fingerprint of `text` (FNV-1a): a screen as shipped, pinned to the byte.
inline std::uint64_t fingerprint(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char c : text) {
        hash = (hash ^ c) * 1099511628211ULL;
    }
    return hash;
}

/// All of the file at `path`; empty when it cannot be read.
inline std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
