// Small text helpers shared by every part of the tool: upper-casing command words,
// reading numbers the way a formatted input stream reads them, printing screens.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

/// Replaces every byte of `text` by its upper-case form (plain ASCII letters change).
void toUpperInPlace(std::string& text);

/// Reads a signed 32-bit integer in base 16 from the start of `text`: leading white
/// space, one sign, an optional "0x"/"0X", then hex digits up to the first non-digit.
/// Returns 0 when no number can be read or it does not fit in 32 bits.
std::int32_t parseHexInt(const std::string& text);

/// As parseHexInt, in base 10 and without a prefix ("12AB" gives 12).
std::int32_t parseDecimalInt(const std::string& text);

/// The base-10 text of `number`: no padding, no plus sign, a minus sign when negative.
std::string intToDecimalText(std::int32_t number);

/// Writes each of `lines` to standard output, each ended and flushed as std::endl does.
void printLines(std::initializer_list<const char*> lines);
