// The controller's construction and the exact port operations of one key stroke.
#include <gtest/gtest.h>

#include "commands/CompoundCommands.h"
#include "keypad/Red10.h"
#include "support/ControllerTest.h"
#include "support/EntryRun.h"

namespace {

using portlib::recorder::Operation;
using Kind = portlib::recorder::Operation::Kind;

std::vector<std::pair<Kind, std::uint32_t>> kindsAndValues() {
    std::vector<std::pair<Kind, std::uint32_t>> out;
    for (const Operation& op : portlib::recorder::operations()) {
        out.emplace_back(op.kind, op.value);
    }
    return out;
}

class Red10Test : public ControllerTest {};

TEST_F(Red10Test, OneStrokeIsSixWritesAndTwoWaitsOfTheKeyDelay) {
    controller->sendKey(0xF3);
    controller->setKeyDelay(40);
    controller->pulsePort(0xF1);
    controller->setKeyDelay(15);
    const std::vector<std::pair<Kind, std::uint32_t>> expected{
        {Kind::Write, 0xFF}, {Kind::Write, 0xF3}, {Kind::Sleep, 15}, {Kind::Write, 0xFF},
        {Kind::Write, 0xFF}, {Kind::Write, 0xFF}, {Kind::Sleep, 15}, {Kind::Write, 0xFF},
        {Kind::Write, 0xFF}, {Kind::Write, 0xF1}, {Kind::Sleep, 40}, {Kind::Write, 0xFF}};
    EXPECT_EQ(kindsAndValues(), expected);
}

TEST_F(Red10Test, ADryRunGivesBackTheClockAndThePortToTheNextRun) {
    const EntryRun dry = runEntryWith({"-n", "menu"});
    EXPECT_EQ(dry.status, 0);
    EXPECT_NE(dry.out.find("1 strokes"), std::string::npos) << dry.out;
    EXPECT_EQ(writeCount(), 0);
    const std::int64_t before = portlib::recorder::virtualNow();
    EXPECT_EQ(runEntryWith({"menu"}).status, 0);
    EXPECT_EQ(strokes(), "fb");
    EXPECT_EQ(portlib::recorder::virtualNow() - before, 30);
}

TEST_F(Red10Test, IsCreatedOnceWithPortOpenedAndTablesFilled) {
    Red10& again = instance();
    EXPECT_EQ(&again, controller);
    EXPECT_TRUE(portlib::recorder::operations().empty()) << "no second initialisation";
    EXPECT_TRUE(controller->isPortReady());
    EXPECT_EQ(keyCodes.size(), 28U);
    EXPECT_EQ(compoundCommands.size(), 72U);
}

}  // namespace
