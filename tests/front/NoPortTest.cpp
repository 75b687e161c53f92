// Runs with a port library that fails to initialise from the first moment of the process,
// as on a PC without port access: nothing that needs the port may stroke a key, and
// nothing that does not need it may be held back.
#include <gtest/gtest.h>

#include "support/EntryRun.h"
#include "support/PortTrace.h"

namespace {

const char* const kError =
    "Error during initialization of WinIo.\npmc10: the test recorder was told to fail\n";

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
