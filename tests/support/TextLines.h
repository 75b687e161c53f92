// Text for tests: captured output split into lines, lines of a known shape read piece by
// piece, a screen's fingerprint, and files.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
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

constexpr std::string_view kDigits = "0123456789", kWhiteSpace = " \t\n\r\f\v";

/// Reads a line of a known shape from the front: each step takes its piece off the front
/// and says whether it was there, so that a shape is a chain of steps joined by &&.
class Scan {
  public:
    explicit Scan(std::string_view text) : rest_(text) {}
    /// Exactly `text`.
    bool take(std::string_view text) {
        return rest_.substr(0, text.size()) == text && cut(text.size(), 0, nullptr);
    }
    /// The longest run of characters from `set`, at least `least` of them.
    bool span(std::string_view set, std::string* into = nullptr, std::size_t least = 1) {
        return cut(std::min(rest_.find_first_not_of(set), rest_.size()), least, into);
    }
    /// The longest run of characters not in `set`, at least one.
    bool until(std::string_view set, std::string* into) {
        return cut(std::min(rest_.find_first_of(set), rest_.size()), 1, into);
    }
    std::string_view rest() const { return rest_; }

  private:
    bool cut(std::size_t length, std::size_t least, std::string* into) {
        if (length < least) {
            return false;
        }
        if (into != nullptr) {
            *into = rest_.substr(0, length);
        }
        rest_.remove_prefix(length);
        return true;
    }

    std::string_view rest_;
};

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
