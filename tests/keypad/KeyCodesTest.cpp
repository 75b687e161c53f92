// The key table and the rule that reads a command word as one key.
#include <gtest/gtest.h>

#include <set>

#include "keypad/KeyCodes.h"
#include "keypad/Red10.h"

namespace {

class KeyCodesTest : public ::testing::Test {
  protected:
    void SetUp() override { instance(); }  // fills the tables
};

TEST_F(KeyCodesTest, EveryCodeHasItsNames) {
    // Written out from the controller's key layout, independently of the table's source.
    const std::map<std::string, KeyCode> expected{
        {"MODE", 0xF0}, {"9", 0xF0},     {"PC", 0xF1},    {"1", 0xF1},  {"CP", 0xF2},
        {"5", 0xF2},    {"ENTER", 0xF3}, {"PB", 0xF4},    {"7", 0xF4},  {"PREV", 0xF5},
        {"SEND", 0xF5}, {"N-ON", 0xF6},  {"3", 0xF6},     {"+", 0xF7},  {"SET", 0xF7},
        {"SYS", 0xF8},  {"8", 0xF8},     {"0", 0xF9},     {"KP", 0xFA}, {"4", 0xFA},
        {"NEXT", 0xFB}, {"MENU", 0xFB},  {"N-OFF", 0xFC}, {"6", 0xFC},  {"-", 0xFD},
        {"BANK", 0xFD}, {"CC", 0xFE},    {"2", 0xFE}};
    EXPECT_EQ(keyCodes, expected);
    std::set<KeyCode> codes;
    for (const auto& row : keyCodes) {
        codes.insert(row.second);
    }
    EXPECT_EQ(codes.size(), 15U);
}

TEST_F(KeyCodesTest, WordsReadAsKeys) {
    const struct {
        const char* word;
        KeyCode code;
    } cases[] = {
        {"MENU", 0xFB},
        {"NEXT", 0xFB},
        {"+", 0xF7},
        {"SET", 0xF7},
        {"0", 0xF9},
        {"ENTR", 0},
        {"menu", 0},  // the caller upper-cases
        {"0XF3", 243},
        {"0X1F3", 499},
        {"0XFB", 0xFB},
        {"0X00", 0},
        {"0X", 0},
        {"0XZZ", 0},
        {"0X7FFFFFFF", 0x7FFFFFFF},
        {"0XFFFFFFFF", 0},
        {"0XF3JUNK", 0xF3},
        {"", 0},
        {"EDITPATCH", 0},
        {"00XF3", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tokenToKeyCode(c.word), c.code) << c.word;
    }
}

}  // namespace
