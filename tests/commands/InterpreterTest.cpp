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

TEST_F(InterpreterTest, RecordedWalkIsPrintedAndReplayedBackwardsThenTheEmptyOneAsOneEnter) {
    EXPECT_EQ(send({"EditPatchName"}, true), "");
    EXPECT_EQ(strokes(), "fb f3 fb");
    EXPECT_EQ(controller->getReturnPath(), (Path{"PREV", "PREV", "ENTER", "PREV"}));
    const std::pair<const char*, const char*> walks[] = {
        {"PREV PREV ENTER PREV  ENTER", "pause f5 f5 f3 f5 f3"}, {" ENTER", "pause f3"}};
    for (const auto& [printed, replay] : walks) {
        portlib::recorder::clear();
        const Path path = controller->getReturnPath();
        CapturedStreams streams;
        controller->printReturnPath();
        EXPECT_EQ(streams.out(), printed);
        EXPECT_EQ(controller->getReturnPath(), path) << "printing does not change the path";
        controller->returnToPerformance();
        EXPECT_EQ(strokes(), replay);
        EXPECT_TRUE(controller->getReturnPath().empty());
        EXPECT_EQ(streams.err(), "");
    }
}

TEST_F(InterpreterTest, NothingIsRecordedWithoutTheFlagAndTheCallersWordIsKept) {
    EXPECT_EQ(send({"editbankname", "enter", "0xfb"}, false), "");
    std::string word = "menu";
    controller->sendCommand(word, false);
    EXPECT_EQ(word, "menu");
    EXPECT_EQ(strokes(), "fb fb f3 fb f3 fb fb");
    EXPECT_TRUE(controller->getReturnPath().empty());
}

TEST_F(InterpreterTest, OnlyMenuMovesAreRecordedAndUnknownWordsAreReportedAndSkipped) {
    const std::string unknown = "WARNING: unknown command: ";
    const struct {
        std::string word;
        const char* stroke;
        Path path;
        std::string warning;
    } cases[] = {
        {"SET", "f7", {}, ""},
        {"5", "f2", {}, ""},
        {"PREV", "f5", {}, ""},
        {"menu", "fb", {"PREV"}, ""},
        {"NEXT", "fb", {"PREV"}, ""},
        {"0xfb", "fb", {"PREV"}, ""},
        {"enter", "f3", {"PREV", "ENTER"}, ""},
        {"0xf3", "f3", {"PREV", "ENTER"}, ""},
        {"0x1f3", "f3", {}, ""},  // same byte on the port, but not the code of ENTER
        {"0XFFFFFF", "ff", {}, ""},
        {"foo", "", {}, unknown + "<FOO>\n"},
        {"0x00", "", {}, unknown + "<0X00>\n"},
        {"0x", "", {}, unknown + "<0X>\n"},
        {"0xzz", "", {}, unknown + "<0XZZ>\n"},
        {"", "", {}, unknown + "<>\n"},
        {"menu next", "", {}, unknown + "<MENU NEXT>\n"},
        {"entr", "", {}, unknown + "<ENTR>\npmc10: did you mean ENTER?\n"},
        {"m\xe4nu\x01", "", {}, unknown + "<M\xe4NU\x01>\npmc10: did you mean MENU?\n"},
        {"cables", "", {}, unknown + "<CABLES>\npmc10: did you mean CABLE?\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        portlib::recorder::clear();
        EXPECT_EQ(send({c.word}, true), c.warning);
        EXPECT_EQ(strokes(), c.stroke);
        EXPECT_EQ(controller->getReturnPath(), c.path);
        CapturedStreams quiet;
        controller->returnToPerformance();
    }
}

TEST_F(InterpreterTest, UnknownWordInsideAnExpansionIsReportedAndTheRestSent) {
    compoundCommands["TESTWALK"] = "  MENU\tbogus  NEXT ";
    const std::string err = send({"menu", "testwalk", "enter"}, false);
    compoundCommands.erase("TESTWALK");
    EXPECT_EQ(err, "WARNING: unknown command: <BOGUS>\n");
    EXPECT_EQ(strokes(), "fb fb fb f3");
}

}  // namespace
