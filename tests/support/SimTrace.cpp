#include "support/SimTrace.h"

#include <cstdio>
#include <regex>
#include <sstream>

std::vector<std::string> traceOps(const std::string& err, std::string* otherLines) {
    static const std::regex kLine(
        R"(^\[ *(\d+)\.(\d{3})\] (init|out 0x378 0x[0-9a-f]{2}|sleep \d+)$)");
    std::vector<std::string> ops;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, kLine)) {
            ops.push_back(match[3]);
        } else if (otherLines != nullptr) {
            *otherLines += line + "\n";
        }
    }
    return ops;
}

std::vector<std::string> expectedTrace(const std::vector<int>& codes) {
    std::vector<std::string> ops{"init"};
    auto out = [&](int value) {
        char text[32];
        std::snprintf(text, sizeof text, "out 0x378 0x%02x", value & 0xFF);
        ops.push_back(text);
    };
    for (const int code : codes) {
        if (code < 0) {
            ops.push_back("sleep 500");
            continue;
        }
        out(0xFF);
        out(code);
        ops.push_back("sleep 15");
        out(0xFF);
        out(0xFF);
        out(0xFF);
        ops.push_back("sleep 15");
        out(0xFF);
    }
    return ops;
}

std::vector<WaitSpan> waitSpans(const std::string& err) {
    // Stamps have exactly three decimals: whole microseconds, compared as integers.
    static const std::regex kLine(
        R"(^\[ *(\d+)\.(\d{3})\] (init|out 0x378 0x([0-9a-f]{2})|sleep (\d+)))");
    std::vector<WaitSpan> spans;
    long lastWrite = -1, asked = -1;
    bool held = false;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, kLine)) {
            continue;
        }
        const long at = std::stol(m[1]) * 1000 + std::stol(m[2]);
        if (m[5].matched) {
            asked = std::stol(m[5]);
        } else {
            if (asked >= 0 && lastWrite >= 0) {
                spans.push_back({asked, at - lastWrite, held});
            }
            asked = -1;
            lastWrite = at;
            held = m[4].matched && m[4] != "ff";
        }
    }
    return spans;
}

int countOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}
