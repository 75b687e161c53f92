// Upper-casing and number reading: the number readers must agree with formatted stream
// extraction of an int, with "no number read" (including overflow) giving 0.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "keypad/TextHelpers.h"

namespace {

int streamRead(const std::string& text, std::ios_base& (*base)(std::ios_base&)) {
    std::istringstream in(text);
    int value = 0;
    in >> base >> value;
    return in.fail() ? 0 : value;
}

TEST(NumberReading, AgreesWithStreamExtraction) {
    // Every text of up to three characters from an alphabet that covers signs, prefixes,
    // digits of both bases, white space and junk; then longer ones: the edges of an int,
    // leading zeros, text after the number.
    const std::string alphabet = "0x+-9aF \tZX";
    std::vector<std::string> all{""};
    for (std::size_t i = 0; all[i].size() < 3; ++i) {
        for (const char c : alphabet) {
            all.push_back(all[i] + c);
        }
    }
    all.insert(all.end(), {"0XFB", "0X1F3", "12AB", "  \t\n 42", "-0x10", "+0X10", "0x-5", "00x5",
                           "abc", "xyz", "+-5", "5 6", "16abc", ".5", "0007", "0X00"});
    all.insert(all.end(), {"2147483647", "2147483648", "-2147483648", "-2147483649",
                           "99999999999999999999", "0x7FFFFFFF", "0x80000000", "-0x80000000",
                           "-0x80000001", "0xFFFFFFFF", "0x00000000000000fb"});
    for (const std::string& text : all) {
        ASSERT_EQ(parseHexInt(text), streamRead(text, std::hex)) << "<" << text << ">";
        ASSERT_EQ(parseDecimalInt(text), streamRead(text, std::dec)) << "<" << text << ">";
    }
    EXPECT_EQ(parseHexInt("0X1F3"), 499);
    EXPECT_EQ(parseDecimalInt("-2147483648"), INT_MIN);
}

TEST(UpperCasing, ChangesAsciiLettersOnly) {
    std::string text = "editPatch n-on +0x1f3 \xe4\xff\x01";
    toUpperInPlace(text);
    EXPECT_EQ(text, "EDITPATCH N-ON +0X1F3 \xe4\xff\x01");
}

TEST(DecimalText, WritesLikeStreamInsertion) {
    for (const int number : {1, 16, -7, INT_MIN, INT_MAX}) {
        EXPECT_EQ(intToDecimalText(number), std::to_string(number));
    }
}

}  // namespace
