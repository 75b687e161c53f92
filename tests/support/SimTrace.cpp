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

std::vector<double> writeTimes(const std::string& err) {
    static const std::regex kStamp(R"(^\[ *(\d+\.\d{3})\] out 0x378 0x[0-9a-f]{2}$)");
    std::vector<double> times;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, kStamp)) {
            times.push_back(std::stod(match[1]));
        }
    }
    return times;
}
