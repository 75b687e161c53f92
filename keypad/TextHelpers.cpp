#include "keypad/TextHelpers.h"

#include <cctype>
#include <cstddef>
#include <iostream>

namespace {

int digitValue(unsigned char c, int base) {
    int value = base;  // not a digit
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

/// Formatted-extraction rules for one int: white space, sign, prefix (base 16), digits.
/// Any failure, including overflow, gives 0.
std::int32_t parseInt(const std::string& text, int base) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (base == 16 && i + 1 < text.size() && text[i] == '0' &&
        (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        i += 2;
    }
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    std::size_t digits = 0;
    for (int d = 0;
         i < text.size() && (d = digitValue(static_cast<unsigned char>(text[i]), base)) >= 0; ++i) {
        magnitude = magnitude * base + d;
        if (magnitude > limit) {
            return 0;
        }
        ++digits;
    }
    if (digits == 0) {
        return 0;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

void toUpperInPlace(std::string& text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
}

std::int32_t parseHexInt(const std::string& text) {
    return parseInt(text, 16);
}

std::int32_t parseDecimalInt(const std::string& text) {
    return parseInt(text, 10);
}

std::string intToDecimalText(std::int32_t number) {
    return std::to_string(number);
}

void printLines(std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        std::cout << line << std::endl;
    }
}
