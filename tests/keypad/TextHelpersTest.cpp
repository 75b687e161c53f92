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

struct NumberCase {
    const char* text;
    int hex;
    int decimal;
};

const NumberCase kNumberCases[] = {
    {"0XFB", 0xFB, 0},
    {"0xfb", 0xFB, 0},
    {"0XF3", 243, 0},
    {"0X1F3", 499, 0},
    {"FB", 0xFB, 0},
    {"12AB", 0x12AB, 12},
    {"  \t\n 42", 0x42, 42},
    {"+7", 7, 7},
    {"-7", -7, -7},
    {"-0x10", -16, 0},
    {"+0X10", 16, 0},
    {"0x", 0, 0},
    {"0X", 0, 0},
    {"0XZZ", 0, 0},
    {"0x-5", 0, 0},
    {"00x5", 0, 0},
    {"abc", 0xABC, 0},
    {"xyz", 0, 0},
    {"", 0, 0},
    {"   ", 0, 0},
    {"+", 0, 0},
    {"-", 0, 0},
    {"+-5", 0, 0},
    {"5 6", 5, 5},
    {"16abc", 0x16ABC, 16},
    {".5", 0, 0},
    {"2147483647", 0, INT_MAX},
    {"2147483648", 0, 0},
    {"-2147483648", 0, INT_MIN},
    {"-2147483649", 0, 0},
    {"99999999999999999999", 0, 0},
    {"0x7FFFFFFF", INT_MAX, 0},
    {"0x80000000", 0, 0},
    {"-0x80000000", INT_MIN, 0},
    {"-0x80000001", 0, 0},
    {"0xFFFFFFFF", 0, 0},
    {"0x00000000000000fb", 0xFB, 0},
    {"0007", 7, 7},
    {"0X00", 0, 0},
};

TEST(NumberReading, AgreesWithStreamExtraction) {
    for (const NumberCase& c : kNumberCases) {
        SCOPED_TRACE(std::string("text <") + c.text + ">");
        EXPECT_EQ(parseHexInt(c.text), c.hex);
        EXPECT_EQ(parseDecimalInt(c.text), c.decimal);
        EXPECT_EQ(parseHexInt(c.text), streamRead(c.text, std::hex));
        EXPECT_EQ(parseDecimalInt(c.text), streamRead(c.text, std::dec));
    }
}

TEST(NumberReading, AgreesWithStreamExtractionOnEveryShortText) {
    // Every text of up to three characters from an alphabet that covers signs, prefixes,
    // digits of both bases, white space and junk.
    const std::string alphabet = "0x+-9aF \tZX";
    std::vector<std::string> texts{""};
    for (int length = 1; length <= 3; ++length) {
        std::vector<std::string> longer;
        for (const std::string& text : texts) {
            for (const char c : alphabet) {
                longer.push_back(text + c);
            }
        }
        for (const std::string& text : longer) {
            ASSERT_EQ(parseHexInt(text), streamRead(text, std::hex)) << "<" << text << ">";
            ASSERT_EQ(parseDecimalInt(text), streamRead(text, std::dec)) << "<" << text << ">";
        }
        texts = longer;
    }
}

TEST(UpperCasing, ChangesAsciiLettersOnly) {
    std::string text = "editPatch n-on +0x1f3 \xe4\xff\x01";
    toUpperInPlace(text);
    EXPECT_EQ(text, "EDITPATCH N-ON +0X1F3 \xe4\xff\x01");
}

TEST(DecimalText, WritesLikeStreamInsertion) {
    EXPECT_EQ(intToDecimalText(1), "1");
    EXPECT_EQ(intToDecimalText(16), "16");
    EXPECT_EQ(intToDecimalText(-7), "-7");
    EXPECT_EQ(intToDecimalText(INT_MIN), "-2147483648");
}

}  // namespace
