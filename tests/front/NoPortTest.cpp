// Runs with a port library that fails to initialise from the first moment of the process,
// as on a PC without port access: nothing that needs the port may stroke a key, and
// nothing that does not need it may be held back.
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/EntryRun.h"
#include "support/PortTrace.h"

namespace {

const char* const kError =
    "Error during initialization of WinIo.\npmc10: the test recorder was told to fail\n";

// First in the file, so that it also holds when the tests share one process.
TEST(NoPort, HelpAndRefusedPedalNeverOpenThePort) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"cable"}, {"calibratepedal", "3"}, {"--help"}}) {
        runEntryWith(args);
    }
    EXPECT_TRUE(portlib::recorder::operations().empty());
}

TEST(NoPort, CommandSequenceFailsWithoutWriting) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"rd", "editbankname"}, {"menu"}, {"r"}, {"foo"}}) {
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(args);
        EXPECT_EQ(run.status, ExitFailure);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, kError);
        EXPECT_EQ(writeCount(), 0);
    }
}

TEST(NoPort, FileStopsAtItsFirstLineThatNeedsThePort) {
    char path[] = "/tmp/pmc10-noport-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "cable\nmenu\nenter\n", 17), 17);
    close(fd);
    portlib::recorder::clear();
    const EntryRun run = runEntryWith({"-f", path});
    unlink(path);
    EXPECT_EQ(run.status, ExitFailure);
    EXPECT_EQ(run.err, kError) << "said once: the lines after it are not run";
    for (const auto& operation : portlib::recorder::operations()) {
        EXPECT_EQ(operation.kind, portlib::recorder::Operation::Kind::Init);
    }
}

TEST(NoPort, VerbsThatStrokeKeysFailWithoutWriting) {
    const struct {
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {{"pmcchannel", "5"}, "PMCCHANNEL 5\n"},
        {{"pmcchannel", "16"}, "PMCCHANNEL 16\n"},
        {{"calibratepedal", "1"}, ""},
        {{"startcalibratepedal", "2"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args, "ok\nok\n");
        EXPECT_EQ(run.status, ExitFailure);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, kError);
        EXPECT_EQ(writeCount(), 0);
    }
}

TEST(NoPort, OutOfRangeNumbersAreRefusedAsWithAPort) {
    const struct {
        std::vector<std::string> args;
        const char* out;
        const char* err;
    } cases[] = {
        {{"pmcchannel", "17"},
         "PMCCHANNEL 17\n",
         "Red10::setRed10Channel called with invalid channel : <17>\n"},
        {{"pmcchannel"},
         "PMCCHANNEL 0\n",
         "Red10::setRed10Channel called with invalid channel : <0>\n"},
        {{"calibratepedal", "3"}, "", "Red10::calibratePedal called with invalid pedal : <3>\n"},
        {{"startcalibratepedal", "0"},
         "",
         "Red10::calibratePedal called with invalid pedal : <0>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args);
        EXPECT_EQ(run.status, ExitSuccess);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(writeCount(), 0);
    }
}

TEST(NoPort, ScreensStillWork) {
    for (const char* verb : {"cable", "COMMANDS"}) {
        const EntryRun run = runEntryWith({verb});
        EXPECT_EQ(run.status, ExitSuccess) << verb;
        EXPECT_GT(run.out.size(), 500U) << verb;
        EXPECT_EQ(run.err, "") << verb;
    }
    EXPECT_EQ(writeCount(), 0);
}

}  // namespace

int main(int argc, char** argv) {
    portlib::recorder::failInitialisation(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
