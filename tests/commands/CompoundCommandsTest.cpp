// The menu tree: every compound name walks to its page through keys only, and a few
// pages are checked stroke by stroke against the controller's menu layout.
#include <gtest/gtest.h>

#include "commands/CompoundCommands.h"
#include "support/ControllerTest.h"

namespace {

class CompoundCommandsTest : public ControllerTest {
  protected:
    std::string strokesOf(const std::string& name) {
        portlib::recorder::clear();
        CapturedStreams streams;
        controller->sendCommand(name, false);
        EXPECT_EQ(streams.err(), "") << name;
        return strokes();
    }
};

TEST_F(CompoundCommandsTest, EveryNameExpandsIntoKeysOnly) {
    ASSERT_EQ(compoundCommands.size(), 72U);
    for (const auto& [name, expansion] : compoundCommands) {
        EXPECT_EQ(lookupKeyCode(name), 0) << name << " is also a key name";
        const std::string walk = strokesOf(name);
        EXPECT_FALSE(walk.empty()) << name;
        EXPECT_EQ(walk.find('['), std::string::npos) << name << ": " << walk;
    }
}

// (The pages of the channel and pedal procedures are checked with the procedures.)
TEST_F(CompoundCommandsTest, PagesAreReachedByTheirKeys) {
    const int M = 0xFB, E = 0xF3, P = 0xF5;  // MENU/NEXT, ENTER, PREV
    const struct {
        const char* name;
        std::vector<int> keys;
    } cases[] = {
        {"EDITPATCH", {M}},
        {"editpatchname", {M, E, M}},
        {"EDITBANK", {M, M}},
        {"EditBankName", {M, M, E, M}},
        {"UTILITIES", {M, M, M, M}},
        {"EXITEDITMENU", {M, M, M, M, M}},
        {"DEFAULTCHANNEL", {M, M, M, M, E, E, M, M, M}},
        {"MIDIPATCHDUMPCOMPLETE", {M, M, M, M, E, E, M, M, M, M, M, M, E, E, E}},
        {"ENDMIDIDATADUMPCOMPLETE", {P, P, P, P, P, P, E, P, E, P, P, P, P, E}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(strokesOf(c.name), expectedStrokes(c.keys)) << c.name;
    }
}

}  // namespace
