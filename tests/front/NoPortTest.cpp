// Runs with a port library that fails to initialise from the first moment of the process,
// as on a PC without port access: nothing that needs the port may stroke a key, and
// nothing that does not need it may be held back.
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/EntryRun.h"
#include "support/PortTrace.h"
#include "support/TextLines.h"

namespace {

// The reason alone: the WinIo line belongs to WinIo's port.
const char* const kError = "pmc10: the test recorder was told to fail\n";

// What needs the port fails with status 1 and neither writes nor waits; what does not
// (screens, refused numbers) runs as it would with a port, and never opens it. A file stops
// at its first line that needs the port, and says so once.
TEST(NoPort, OnlyWhatNeedsThePortFails) {
    const std::string file = writeTemp("cable\nmenu\nenter\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out, err;
    } cases[] = {
        // First, while no run has tried the port yet: once tried, a failed port is not
        // opened again.
        {{"pmcchannel", "17"}, ExitSuccess, "PMCCHANNEL 17\n", channelRefusal("17")},
        {{"pmcchannel"}, ExitSuccess, "PMCCHANNEL 0\n", channelRefusal("0")},
        {{"calibratepedal", "3"}, ExitSuccess, "", pedalRefusal("3")},
        {{"startcalibratepedal", "0"}, ExitSuccess, "", pedalRefusal("0")},
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
        {{"-f", file}, ExitFailure, "\n  How To Build the Cable\n", kError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args, "ok\nok\n");
        EXPECT_EQ(run.status, c.status);
        const bool screen = c.out.rfind('\n', 0) == 0;  // only its opening lines are given
        EXPECT_EQ(screen ? run.out.substr(0, c.out.size()) : run.out, c.out);
        EXPECT_TRUE(!screen || run.out.size() > 500U) << run.out;
        EXPECT_EQ(run.err, c.err);
        for (const auto& operation : portlib::recorder::operations()) {
            EXPECT_EQ(operation.kind, portlib::recorder::Operation::Kind::Init);
        }
        EXPECT_TRUE(c.status == ExitFailure || portlib::recorder::operations().empty());
    }
    unlink(file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    portlib::recorder::failInitialisation(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
