// Setting the MIDI channel and calibrating the expression pedals, run through their verbs:
// the strokes, what is printed, and, for the calibration, the order of strokes, prompts
// and reads.
#include <gtest/gtest.h>

#include "support/ConsoleTimeline.h"
#include "support/ControllerTest.h"
#include "support/EntryRun.h"

namespace {

using Timeline = std::vector<std::string>;

const int M = 0xFB, E = 0xF3, P = 0xF5, PAUSE = -1;  // MENU/NEXT, ENTER, PREV

const char* const kWayBack = "PREV PREV PREV ENTER PREV ENTER PREV PREV PREV PREV  ENTER";

std::string channelStrokes(std::vector<int> digits) {
    std::vector<int> keys{M, M, M, M, E, E, M, M};
    keys.insert(keys.end(), digits.begin(), digits.end());
    for (int key : {PAUSE, P, P, P, E, P, E, P, P, P, P, E}) {
        keys.push_back(key);
    }
    return expectedStrokes(keys);
}

class ProceduresTest : public ControllerTest {};

TEST_F(ProceduresTest, ChannelIsTypedOnTheDigitKeys) {
    const struct {
        const char* number;
        const char* echo;
        std::vector<int> digits;
    } cases[] = {
        {"1", "1", {0xF1}},         {"5", "5", {0xF2}},         {"9", "9", {0xF0}},
        {"10", "10", {0xF1, 0xF9}}, {"12", "12", {0xF1, 0xFE}}, {"16", "16", {0xF1, 0xFC}},
        {"+07", "7", {0xF4}},       {"3rd", "3", {0xF6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        portlib::recorder::clear();
        const EntryRun run = runEntryWith({"PmcChannel", c.number, "ignored"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, std::string("PMCCHANNEL ") + c.echo + "\n" + kWayBack);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(strokes(), channelStrokes(c.digits));
        EXPECT_TRUE(controller->getReturnPath().empty());
    }
}

TEST_F(ProceduresTest, ChannelOutOfRangeIsRefused) {
    const struct {
        std::vector<std::string> args;
        const char* echo;
        const char* refusal;
    } cases[] = {
        {{"pmcchannel", "0"}, "PMCCHANNEL 0\n", "<0>"},
        {{"pmcchannel", "17"}, "PMCCHANNEL 17\n", "<17>"},
        {{"pmcchannel", "-3"}, "PMCCHANNEL -3\n", "<-3>"},
        {{"pmcchannel"}, "PMCCHANNEL 0\n", "<0>"},
        {{"pmcchannel", "five"}, "PMCCHANNEL 0\n", "<0>"},
        {{"pmcchannel", "99999999999"}, "PMCCHANNEL 0\n", "<0>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.echo);
        EXPECT_EQ(run.err, std::string("Red10::setRed10Channel called with invalid channel : ") +
                               c.refusal + "\n");
        EXPECT_EQ(writeCount(), 0);
    }
}

TEST_F(ProceduresTest, ChannelWalkAddsToAPathAlreadyThere) {
    CapturedStreams streams;
    controller->sendCommand("menu", true);
    portlib::recorder::clear();
    controller->setRed10Channel(2);
    // The channel walk's moves go in front of the move already recorded.
    EXPECT_EQ(streams.out(), "PREV PREV PREV ENTER PREV ENTER PREV PREV PREV PREV PREV  ENTER");
    EXPECT_EQ(strokes(), expectedStrokes({M, M, M, M, E, E, M, M, 0xFE, PAUSE, P,
                                          P, P, E, P, E, P, P, P, P,    P,     E}));
}

std::string pedalOpening(int pedal) {
    std::vector<int> keys{M, M, M, M, E, M, M, M, M, M, M, M, E, M, M, M, M};
    if (pedal == 2) {
        keys.push_back(M);
    }
    keys.push_back(E);
    return expectedStrokes(keys);
}

std::string pedalClosing(int pedal) {
    std::vector<int> keys{P, P, P, P, P, E, P, P, P, P, P, P, P, P, E, P, P, P, P, E};
    if (pedal == 2) {
        keys.insert(keys.begin(), P);
    }
    return expectedStrokes(keys);
}

std::string prompt(int pedal, const char* position) {
    return "out<Place pedal " + std::to_string(pedal) + " " + position + ", then\n>";
}

const char* const kType = "out<type \"ok\" followed by return key when done.\n>";

TEST_F(ProceduresTest, CalibrationWaitsForEachAnswer) {
    for (int pedal : {1, 2}) {
        SCOPED_TRACE(pedal);
        portlib::recorder::clear();
        ConsoleTimeline console({"ok", "ok"});
        Red10::calibratePedal(pedal);
        EXPECT_EQ(console.timeline(), (Timeline{pedalOpening(pedal), prompt(pedal, "down"), kType,
                                                "read", "f3", prompt(pedal, "up"), kType, "read",
                                                "f3 " + pedalClosing(pedal), "out<done.\n>"}));
        EXPECT_TRUE(controller->getReturnPath().empty());
    }
}

TEST_F(ProceduresTest, AnswersAreWordsOfAnyContent) {
    const Timeline afterOpening{prompt(1, "down"), kType};
    const struct {
        const char* name;
        std::vector<std::string> lines;
        Timeline middle;  // from the first read to the closing strokes
    } cases[] = {
        {"no and x", {"no", "x"}, {"read", "f3", prompt(1, "up"), kType, "read"}},
        {"blank lines are no answer",
         {"", "   \t", "ok", "", "ok"},
         {"read", "read", "read", "f3", prompt(1, "up"), kType, "read", "read"}},
        {"two words on one line answer both prompts",
         {"ok ok"},
         {"read", "f3", prompt(1, "up"), kType}},
        // A stream at its end fails every later read at once, without asking for input.
        {"input at its end", {}, {"eof", "f3", prompt(1, "up"), kType}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        portlib::recorder::clear();
        ConsoleTimeline console(c.lines);
        Red10::calibratePedal(1);
        Timeline expected{pedalOpening(1)};
        expected.insert(expected.end(), afterOpening.begin(), afterOpening.end());
        expected.insert(expected.end(), c.middle.begin(), c.middle.end());
        expected.push_back("f3 " + pedalClosing(1));
        expected.push_back("out<done.\n>");
        EXPECT_EQ(console.timeline(), expected);
    }
}

TEST_F(ProceduresTest, PedalOutOfRangeIsRefusedOnce) {
    const struct {
        std::vector<std::string> args;
        const char* refusal;
    } cases[] = {
        {{"calibratepedal", "3"}, "<3>"},      {{"CalibratePedal", "0"}, "<0>"},
        {{"calibratepedal", "-1"}, "<-1>"},    {{"calibratepedal"}, "<0>"},
        {{"startcalibratepedal", "3"}, "<3>"}, {{"STARTCALIBRATEPEDAL", "x"}, "<0>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args, "ok\nok\n");
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, std::string("Red10::calibratePedal called with invalid pedal : ") +
                               c.refusal + "\n");
        EXPECT_EQ(writeCount(), 0);
    }
    CapturedStreams streams;
    controller->endCalibratePedal(7);
    EXPECT_EQ(streams.err(), "Red10::calibratePedal called with invalid pedal : <7>\n");
}

TEST_F(ProceduresTest, StartCalibrationOpensThePedalPageSilently) {
    for (int pedal : {1, 2}) {
        portlib::recorder::clear();
        const EntryRun run = runEntryWith({"startcalibratepedal", std::to_string(pedal)});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(strokes(), pedalOpening(pedal));
        EXPECT_TRUE(controller->getReturnPath().empty());
    }
}

}  // namespace
