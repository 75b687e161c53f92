// The key and compound tables as the manual gives them; the rule that reads a word as one key.
#include <gtest/gtest.h>

#include <algorithm>

#include "commands/CompoundCommands.h"
#include "keypad/KeyCodes.h"
#include "support/ControllerTest.h"
#include "support/Manual.h"

namespace {

class KeyCodesTest : public ControllerTest {};  // the controller fills the tables

TEST_F(KeyCodesTest, EveryKeyAndCodeAndEveryCompoundAsTheManualGivesThem) {
    const std::map<std::string, int> manual = manualKeys();
    ASSERT_EQ(manual.size(), 28U);
    EXPECT_EQ((std::map<std::string, int>(keyCodes.begin(), keyCodes.end())), manual);
    std::vector<std::string> compounds = manualCompoundNames(), table;
    std::sort(compounds.begin(), compounds.end());
    for (const auto& [name, expansion] : compoundCommands) {
        table.push_back(name);
    }
    EXPECT_EQ(table, compounds);
}

TEST_F(KeyCodesTest, WordsReadAsKeys) {
    const struct {
        const char* word;
        KeyCode code;
    } cases[] = {
        {"+", 0xF7},       {"menu", 0},        {"0X1F3", 499},   {"0X7FFFFFFF", 0x7FFFFFFF},
        {"0XFFFFFFFF", 0}, {"0XF3JUNK", 0xF3}, {"EDITPATCH", 0}, {"00XF3", 0},
    };
    // "menu" names no key: the caller upper-cases.
    for (const auto& c : cases) {
        EXPECT_EQ(tokenToKeyCode(c.word), c.code) << c.word;
    }
}

}  // namespace
