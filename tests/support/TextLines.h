// Text for tests: captured output split into lines, a screen's fingerprint, and files.
#pragma once

#include <unistd.h>

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

/// A new file under /tmp that holds `text`: its path, empty when it could not be written.
inline std::string writeTemp(const std::string& text) {
    char path[] = "/tmp/pmc10-test-XXXXXX";
    const int fd = mkstemp(path);
    const bool whole =
        fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0) {
        close(fd);
    }
    return whole ? path : "";
}

/// A new folder under /tmp: its path, empty when it could not be made.
inline std::string tempFolder() {
    char path[] = "/tmp/pmc10-test-XXXXXX";
    return mkdtemp(path) != nullptr ? path : "";
}
