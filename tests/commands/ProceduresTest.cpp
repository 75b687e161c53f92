// Command lines run through the entry, setting the MIDI channel and calibrating the
// expression pedals: the strokes, what is printed, and, for the calibration, the order of
// strokes, prompts and reads.
#include <gtest/gtest.h>

#include "support/ConsoleTimeline.h"
#include "support/ControllerTest.h"
#include "support/EntryRun.h"

namespace {

using Timeline = std::vector<std::string>;

const int M = 0xFB, E = 0xF3, P = 0xF5, PAUSE = -1;  // MENU/NEXT, ENTER, PREV

const char* const kWayBack = "PREV PREV PREV ENTER PREV ENTER PREV PREV PREV PREV  ENTER";

class ProceduresTest : public ControllerTest {};

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

// Each pedal's page is one further than the last.
std::string pedalOpening(int pedal) {
    std::vector<int> keys{M, M, M, M, E, M, M, M, M, M, M, M, E, M, M, M};
    keys.insert(keys.end(), pedal, M);
    keys.push_back(E);
    return expectedStrokes(keys);
}

std::string pedalClosing(int pedal) {
    std::vector<int> keys(pedal + 4, P);
    keys.insert(keys.end(), {E, P, P, P, P, P, P, P, P, E, P, P, P, P, E});
    return expectedStrokes(keys);
}

std::string prompt(int pedal, const char* position) {
    return "out<Place pedal " + std::to_string(pedal) + " " + position + ", then\n>";
}

const char* const kType = "out<type \"ok\" followed by return key when done.\n>";

TEST_F(ProceduresTest, CalibrationWaitsForAWordOfAnyContentAtEachPrompt) {
    const struct {
        int pedal;
        std::vector<std::string> lines;
        Timeline middle;  // from the first read to the closing strokes
    } cases[] = {
        {2, {"ok", "ok"}, {"read", "f3", prompt(2, "up"), kType, "read"}},
        {1, {"no", "x"}, {"read", "f3", prompt(1, "up"), kType, "read"}},
        // Blank lines are no answer; two words on one line answer both prompts.
        {1,
         {"", "   \t", "ok", "", "ok"},
         {"read", "read", "read", "f3", prompt(1, "up"), kType, "read", "read"}},
        {1, {"ok ok"}, {"read", "f3", prompt(1, "up"), kType}},
        // A stream at its end fails every later read at once, without asking for input.
        {1, {}, {"eof", "f3", prompt(1, "up"), kType}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.lines));
        portlib::recorder::clear();
        ConsoleTimeline console(c.lines);
        Red10::calibratePedal(c.pedal);
        Timeline expected{pedalOpening(c.pedal), prompt(c.pedal, "down"), kType};
        expected.insert(expected.end(), c.middle.begin(), c.middle.end());
        expected.push_back("f3 " + pedalClosing(c.pedal));
        expected.push_back("out<done.\n>");
        EXPECT_EQ(console.timeline(), expected);
        EXPECT_TRUE(controller->getReturnPath().empty());
    }
}

/// A command line of the tool and all that it gives.
struct VerbRun {
    std::vector<std::string> args;
    std::string out, err, strokes;
};

VerbRun typed(const char* number, const char* shown, std::vector<int> keys) {
    keys.insert(keys.begin(), {M, M, M, M, E, E, M, M});
    keys.insert(keys.end(), {PAUSE, P, P, P, E, P, E, P, P, P, P, E});
    const std::string out = std::string("PMCCHANNEL ") + shown + "\n" + kWayBack;
    return {{"PmcChannel", number, "ignored"}, out, "", expectedStrokes(keys)};
}

// Command lines with and without the way back, in any letter case, thousands of words
// long; the verbs stroke their keys or refuse a number out of range.
TEST_F(ProceduresTest, CommandLinesStrokeTheirKeysAndVerbsRefuseANumberOutOfRange) {
    const std::string unknown = "WARNING: unknown command: <";
    std::vector<std::string> many{"r"};  // 5000 keys in, 2500 PREVs and one ENTER back
    std::string manyStrokes, manyBack = " pause";
    for (int i = 0; i < 5000; ++i) {
        many.push_back(i % 2 == 0 ? "menu" : "prev");
        manyStrokes += i % 2 == 0 ? "fb " : "f5 ";
        manyBack += i % 2 == 0 ? " f5" : "";
    }
    const std::string bank = "fb fb f3 fb pause f5 f5 f3 f5 f5 f3",
                      back = "PREV PREV ENTER PREV PREV  ENTER";
    const VerbRun cases[] = {
        {{"rd", "editbankname"}, back, "", bank},
        {{"RD", "EditBankName"}, back, "", bank},
        {{"r", "editbankname"}, "", "", bank},
        {{"r"}, "", "", "pause f3"},
        {{"Rd"}, " ENTER", "", "pause f3"},
        {{"rd", "menu", "next"}, "PREV PREV  ENTER", "", "fb fb pause f5 f5 f3"},
        {{"menu", "r"}, "", unknown + "R>\n", "fb"},
        {{"0xfb", "next", "enter"}, "", "", "fb fb f3"},
        {{"0X1F3"}, "", "", "f3"},
        {{"menu", "foo", "next"}, "", unknown + "FOO>\n", "fb fb"},
        {{"menu next"}, "", unknown + "MENU NEXT>\n", ""},
        {{"cables"}, "", unknown + "CABLES>\npmc10: did you mean CABLE?\n", ""},
        {{"nxet", "enetr"},
         "",
         unknown + "NXET>\npmc10: did you mean NEXT?\n" + unknown +
             "ENETR>\npmc10: did you mean ENTER?\n",
         ""},
        {{"rd", "rd"}, " ENTER", unknown + "RD>\n", "pause f3"},
        {{""}, "", unknown + ">\n", ""},
        {many, "", "", manyStrokes.substr(0, manyStrokes.size() - 1) + manyBack + " f3"},
        typed("1", "1", {0xF1}),
        typed("5", "5", {0xF2}),
        typed("9", "9", {0xF0}),
        typed("10", "10", {0xF1, 0xF9}),
        typed("12", "12", {0xF1, 0xFE}),
        typed("16", "16", {0xF1, 0xFC}),
        typed("+07", "7", {0xF4}),
        typed("3rd", "3", {0xF6}),
        {{"pmcchannel", "0"}, "PMCCHANNEL 0\n", channelRefusal("0"), ""},
        {{"pmcchannel", "17"}, "PMCCHANNEL 17\n", channelRefusal("17"), ""},
        {{"pmcchannel", "-3"}, "PMCCHANNEL -3\n", channelRefusal("-3"), ""},
        {{"pmcchannel"}, "PMCCHANNEL 0\n", channelRefusal("0"), ""},
        {{"pmcchannel", "five"}, "PMCCHANNEL 0\n", channelRefusal("0"), ""},
        {{"pmcchannel", "99999999999"}, "PMCCHANNEL 0\n", channelRefusal("0"), ""},
        {{"calibratepedal", "3"}, "", pedalRefusal("3"), ""},
        {{"CalibratePedal", "0"}, "", pedalRefusal("0"), ""},
        {{"calibratepedal", "-1"}, "", pedalRefusal("-1"), ""},
        {{"calibratepedal"}, "", pedalRefusal("0"), ""},
        {{"startcalibratepedal", "3"}, "", pedalRefusal("3"), ""},
        {{"STARTCALIBRATEPEDAL", "x"}, "", pedalRefusal("0"), ""},
        {{"startcalibratepedal", "1"}, "", "", pedalOpening(1)},
        {{"startcalibratepedal", "2"}, "", "", pedalOpening(2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args, "ok\nok\n");
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(strokes(), c.strokes);
        EXPECT_TRUE(controller->getReturnPath().empty());
    }
    CapturedStreams streams;
    controller->endCalibratePedal(7);
    EXPECT_EQ(streams.err(), pedalRefusal("7"));
}

}  // namespace
