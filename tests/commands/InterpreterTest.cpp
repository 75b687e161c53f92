// The command interpreter: keys, hex literals, compound expansion, unknown words, and the
// recorded way back with its printing and replay.
#include <gtest/gtest.h>

#include "commands/CompoundCommands.h"
#include "support/ControllerTest.h"

namespace {

using Path = std::deque<std::string>;

class InterpreterTest : public ControllerTest {
  protected:
    /// Sends the words and returns what went to standard error.
    std::string send(std::initializer_list<std::string> words, bool record) {
        CapturedStreams streams;
        for (const std::string& word : words) {
            controller->sendCommand(word, record);
        }
        EXPECT_EQ(streams.out(), "");
        return streams.err();
    }
};

TEST_F(InterpreterTest, RecordedWalkIsPrintedAndReplayedBackwards) {
    EXPECT_EQ(send({"EditPatchName"}, true), "");
    EXPECT_EQ(strokes(), "fb f3 fb");
    EXPECT_EQ(controller->getReturnPath(), (Path{"PREV", "PREV", "ENTER", "PREV"}));

    portlib::recorder::clear();
    CapturedStreams streams;
    controller->printReturnPath();
    EXPECT_EQ(streams.out(), "PREV PREV ENTER PREV  ENTER");
    EXPECT_EQ(controller->getReturnPath().size(), 4U) << "printing does not change the path";
    controller->returnToPerformance();
    EXPECT_EQ(strokes(), "pause f5 f5 f3 f5 f3");
    EXPECT_TRUE(controller->getReturnPath().empty());
    EXPECT_EQ(streams.err(), "");
}

TEST_F(InterpreterTest, EmptyPathPrintsAndReplaysOneEnter) {
    CapturedStreams streams;
    controller->printReturnPath();
    controller->returnToPerformance();
    EXPECT_EQ(streams.out(), " ENTER");
    EXPECT_EQ(strokes(), "pause f3");
}

TEST_F(InterpreterTest, OnlyMenuMovesAreRecorded) {
    const struct {
        const char* word;
        const char* stroke;
        Path path;
    } cases[] = {
        {"SET", "f7", {}},
        {"5", "f2", {}},
        {"PREV", "f5", {}},
        {"menu", "fb", {"PREV"}},
        {"NEXT", "fb", {"PREV"}},
        {"0xfb", "fb", {"PREV"}},
        {"enter", "f3", {"PREV", "ENTER"}},
        {"0xf3", "f3", {"PREV", "ENTER"}},
        {"0x1f3", "f3", {}},  // same byte on the port, but not the code of ENTER
        {"0XFFFFFF", "ff", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        portlib::recorder::clear();
        EXPECT_EQ(send({c.word}, true), "");
        EXPECT_EQ(strokes(), c.stroke);
        EXPECT_EQ(controller->getReturnPath(), c.path);
        CapturedStreams quiet;
        controller->returnToPerformance();
    }
}

TEST_F(InterpreterTest, NothingIsRecordedWithoutTheFlag) {
    EXPECT_EQ(send({"editbankname", "enter", "0xfb"}, false), "");
    EXPECT_EQ(strokes(), "fb fb f3 fb f3 fb");
    EXPECT_TRUE(controller->getReturnPath().empty());
}

TEST_F(InterpreterTest, UnknownWordsAreReportedAndSkipped) {
    const struct {
        std::string word;
        std::string warning;
    } cases[] = {
        {"foo", "WARNING: unknown command: <FOO>\n"},
        {"0x00", "WARNING: unknown command: <0X00>\n"},
        {"0x", "WARNING: unknown command: <0X>\n"},
        {"0xzz", "WARNING: unknown command: <0XZZ>\n"},
        {"", "WARNING: unknown command: <>\n"},
        {"menu next", "WARNING: unknown command: <MENU NEXT>\n"},
        {"entr", "WARNING: unknown command: <ENTR>\npmc10: did you mean ENTER?\n"},
        {"m\xe4nu\x01", "WARNING: unknown command: <M\xe4NU\x01>\npmc10: did you mean MENU?\n"},
        {"cables", "WARNING: unknown command: <CABLES>\npmc10: did you mean CABLE?\n"},
    };
    for (const auto& c : cases) {
        portlib::recorder::clear();
        EXPECT_EQ(send({c.word}, true), c.warning);
        EXPECT_EQ(writeCount(), 0);
        EXPECT_TRUE(controller->getReturnPath().empty());
    }
}

TEST_F(InterpreterTest, UnknownWordInsideAnExpansionIsReportedAndTheRestSent) {
    compoundCommands["TESTWALK"] = "  MENU\tbogus  NEXT ";
    const std::string err = send({"menu", "testwalk", "enter"}, false);
    compoundCommands.erase("TESTWALK");
    EXPECT_EQ(err, "WARNING: unknown command: <BOGUS>\n");
    EXPECT_EQ(strokes(), "fb fb fb f3");
}

TEST_F(InterpreterTest, CallerWordIsNotChanged) {
    std::string word = "menu";
    controller->sendCommand(word, false);
    EXPECT_EQ(word, "menu");
}

}  // namespace
