// The key table and the rule that reads a command word as one key.
#include <gtest/gtest.h>

#include "keypad/KeyCodes.h"
#include "keypad/Red10.h"
#include "support/Manual.h"

namespace {

class KeyCodesTest : public ::testing::Test {
  protected:
    void SetUp() override { instance(); }  // fills the tables
};

TEST_F(KeyCodesTest, EveryKeyAndCodeAsTheManualGivesThem) {
    const std::map<std::string, int> manual = manualKeys();
    ASSERT_EQ(manual.size(), 28U);
    const std::map<std::string, int> table(keyCodes.begin(), keyCodes.end());
    EXPECT_EQ(table, manual);
}

TEST_F(KeyCodesTest, WordsReadAsKeys) {
    const struct {
        const char* word;
        KeyCode code;
    } cases[] = {
        {"MENU", 0xFB},
        {"+", 0xF7},
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
