// Runs with a port library that fails to initialise from the first moment of the process,
// as on a PC without port access: nothing that needs the port may stroke a key, and
// nothing that does not need it may be held back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "support/EntryRun.h"
#include "support/PortTrace.h"
#include "support/TextLines.h"

namespace {

// The reason alone: the WinIo line belongs to WinIo's port.
const char* const kError = "pmc10: the test recorder was told to fail\n";

// What needs the port fails with status 1 and writes nothing; what does not (screens,
// refused numbers) runs as it would with a port, and never opens it.
TEST(NoPort, OnlyWhatNeedsThePortFails) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        // First, while no run has tried the port yet: once tried, a failed port is not
        // opened again.
        {{"pmcchannel", "17"},
         ExitSuccess,
         "PMCCHANNEL 17\n",
         "Red10::setRed10Channel called with invalid channel : <17>\n"},
        {{"pmcchannel"},
         ExitSuccess,
         "PMCCHANNEL 0\n",
         "Red10::setRed10Channel called with invalid channel : <0>\n"},
        {{"calibratepedal", "3"},
         ExitSuccess,
         "",
         "Red10::calibratePedal called with invalid pedal : <3>\n"},
        {{"startcalibratepedal", "0"},
         ExitSuccess,
         "",
         "Red10::calibratePedal called with invalid pedal : <0>\n"},
        {{}, ExitUsage, "\n  Usage: pmc10 ", ""},
        {{"--help"}, ExitSuccess, "\n  Usage: pmc10 ", ""},
        {{"cable"}, ExitSuccess, "\n  How To Build the Cable\n", ""},
        {{"COMMANDS"}, ExitSuccess, "\n  Available Commands\n", ""},
        {{"rd", "editbankname"}, ExitFailure, "", kError},
        {{"menu"}, ExitFailure, "", kError},
        {{"r"}, ExitFailure, "", kError},
        {{"foo"}, ExitFailure, "", kError},
        {{"pmcchannel", "5"}, ExitFailure, "PMCCHANNEL 5\n", kError},
        {{"pmcchannel", "16"}, ExitFailure, "PMCCHANNEL 16\n", kError},
        {{"calibratepedal", "1"}, ExitFailure, "", kError},
        {{"startcalibratepedal", "2"}, ExitFailure, "", kError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args, "ok\nok\n");
        EXPECT_EQ(run.status, c.status);
        const bool screen = *c.err == 0;  // only its opening lines are given
        EXPECT_EQ(screen ? run.out.substr(0, std::strlen(c.out)) : run.out, c.out);
        EXPECT_TRUE(!screen || run.out.size() > 500U) << run.out;
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(writeCount(), 0);
        EXPECT_TRUE(c.status == ExitFailure || portlib::recorder::operations().empty());
    }
}

TEST(NoPort, FileStopsAtItsFirstLineThatNeedsThePort) {
    const std::string path = writeTemp("cable\nmenu\nenter\n");
    portlib::recorder::clear();
    const EntryRun run = runEntryWith({"-f", path});
    unlink(path.c_str());
    EXPECT_EQ(run.status, ExitFailure);
    EXPECT_EQ(run.err, kError) << "said once: the lines after it are not run";
    for (const auto& operation : portlib::recorder::operations()) {
        EXPECT_EQ(operation.kind, portlib::recorder::Operation::Kind::Init);
    }
}

}  // namespace

int main(int argc, char** argv) {
    portlib::recorder::failInitialisation(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
