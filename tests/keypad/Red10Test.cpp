// The controller's construction and the exact port operations of one key stroke.
#include <gtest/gtest.h>

#include <string>

#include "keypad/Red10.h"
#include "port/Registry.h"
#include "support/ControllerTest.h"
#include "support/EntryRun.h"

namespace {

using portlib::recorder::Operation;
using Kind = portlib::recorder::Operation::Kind;

class Red10Test : public ControllerTest {};

// The one controller, its port opened once. Written out by hand, not from the stroke's
// shape: the one check that the shape itself stays six writes and two waits of 15 ms.
TEST_F(Red10Test, IsCreatedOnceAndOneStrokeIsSixWritesAndTwoWaitsOfTheKeyDelay) {
    EXPECT_EQ(&instance(), controller);
    EXPECT_TRUE(controller->isPortReady());  // no second initialisation: none below
    controller->sendKey(0xF3);
    controller->setKeyDelay(40);
    controller->pulsePort(0xF1);
    controller->setKeyDelay(15);
    const std::vector<std::pair<Kind, std::uint32_t>> expected{
        {Kind::Write, 0xFF}, {Kind::Write, 0xF3}, {Kind::Sleep, 15}, {Kind::Write, 0xFF},
        {Kind::Write, 0xFF}, {Kind::Write, 0xFF}, {Kind::Sleep, 15}, {Kind::Write, 0xFF},
        {Kind::Write, 0xFF}, {Kind::Write, 0xF1}, {Kind::Sleep, 40}, {Kind::Write, 0xFF}};
    std::vector<std::pair<Kind, std::uint32_t>> made;
    for (const Operation& op : portlib::recorder::operations()) {
        made.emplace_back(op.kind, op.value);
    }
    EXPECT_EQ(made, expected);
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

/// A port that times whole strokes itself, as the pmc10 board does; the n-th stroke fails.
struct DevicePort : port::Port {
    static inline std::vector<std::string> calls;
    static inline int failAt = -1;
    bool write(std::uint8_t byte) override {
        calls.push_back("write " + std::to_string(byte));
        return true;
    }
    void close() override { calls.push_back("close"); }
    std::string describe() const override { return "device"; }
    std::string failure() const override { return "the device failed"; }
    bool timesStrokes() const override { return true; }
    bool stroke(std::uint8_t code, int holdMs, int gapMs) override {
        calls.push_back("stroke " + std::to_string(code) + " " + std::to_string(holdMs) + " " +
                        std::to_string(gapMs));
        return static_cast<int>(calls.size()) != failAt;
    }
    bool settle() override {
        calls.push_back("settled at " + std::to_string(portlib::recorder::virtualNow()));
        return true;
    }
};

TEST_F(Red10Test, APortThatTimesStrokesGetsEachWholeAndThePauseCountsFromTheirEnd) {
    static const port::Backend device{
        "device", [](const std::string& text) { return text == "device"; },
        [](const std::string&) { return port::OpenResult::opened(std::make_unique<DevicePort>()); },
        nullptr};
    port::addBackend(&device);
    const std::string before = port::chosen();
    for (const int failAt : {-1, 2}) {
        SCOPED_TRACE(failAt);
        DevicePort::calls.clear();
        DevicePort::failAt = failAt;
        port::choose("device");
        controller->portLink().release();
        portlib::recorder::clear();
        CapturedStreams streams;
        controller->sendCommand("EDITBANK", true);  // MENU MENU
        const std::int64_t start = portlib::recorder::virtualNow();
        controller->returnToPerformance();
        const std::vector<std::string> whole{
            "stroke 251 15 15", "stroke 251 15 15", "settled at " + std::to_string(start),
            "stroke 245 15 15", "stroke 245 15 15", "stroke 243 15 15"};
        // A failed stroke gives one line, and nothing more reaches the port.
        const std::size_t made = failAt < 0 ? whole.size() : 2;
        EXPECT_EQ(DevicePort::calls, std::vector<std::string>(whole.begin(), whole.begin() + made));
        EXPECT_EQ(streams.err(), failAt < 0 ? "" : "pmc10: the device failed\n");
        if (failAt < 0) {
            EXPECT_EQ(portlib::recorder::virtualNow() - start, 500);
        }
        for (const Operation& op : portlib::recorder::operations()) {
            EXPECT_NE(op.kind, Kind::Write) << "a write on the host-timed port";
        }
        controller->portLink().release();
    }
    port::choose(before);
    controller->isPortReady();
}

}  // namespace
