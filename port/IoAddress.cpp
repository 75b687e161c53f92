#include "port/IoAddress.h"

#include <cstdio>

namespace port {
namespace {
constexpr unsigned kLowest = 0x100;
constexpr unsigned kHighest = 0xFFFC;  // its control register is base + 2
// A port's three registers start at a multiple of 4: any other address would reach into
// the registers of the port below or above it.
constexpr unsigned kAlignment = 4;
}  // namespace

bool looksLikeIoAddress(const std::string& text) {
    return text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
}

unsigned parseIoAddress(const std::string& text) {
    if (!looksLikeIoAddress(text) || text.size() < 3 || text.size() > 6 ||
        text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos) {
        return 0;
    }
    return static_cast<unsigned>(std::stoul(text.substr(2), nullptr, 16));
}

std::string checkIoAddress(const std::string& text) {
    const unsigned base = parseIoAddress(text);
    if (base == 0) {
        return "not an I/O address (a base address is 0x100 to 0xfffc, e.g. 0x378)";
    }
    if (base < kLowest || base > kHighest) {
        return "outside the addresses a parallel port can have (0x100 to 0xfffc)";
    }
    if (base % kAlignment != 0) {
        return "not where a parallel port starts (a base address is a multiple of 4, e.g. "
               "0x378 or 0x278)";
    }
    return {};
}

std::string hexAddress(unsigned address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", address);
    return text;
}

}  // namespace port
