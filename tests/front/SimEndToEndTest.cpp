// pmc10-sim run as a user runs it: its standard output, its warnings, its port trace and
// its exit status. These are the only tests that wait for real.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>

#include "support/SimTrace.h"
#include "support/Subprocess.h"

namespace {

using ::testing::ElementsAreArray;

RunResult sim(const std::vector<std::string>& args, const RunOptions& options = {}) {
    return runProcess(PMC10_SIM, args, options);
}

TEST(SimEndToEnd, RecordedMenuWalk) {
    const RunResult run = sim({"rd", "editbankname"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "PREV PREV ENTER PREV PREV  ENTER");
    std::string other;
    EXPECT_THAT(traceOps(run.err, &other),
                ElementsAreArray(expectedTrace(
                    {0xFB, 0xFB, 0xF3, 0xFB, -1, 0xF5, 0xF5, 0xF3, 0xF5, 0xF5, 0xF3})));
    EXPECT_EQ(other, "");
}

TEST(SimEndToEnd, WarningsGoOnAndHexBytesWriteTheirLowByte) {
    const RunResult run = sim({"menu", "foo", "0X1F3", "0x00"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    std::string other;
    EXPECT_THAT(traceOps(run.err, &other), ElementsAreArray(expectedTrace({0xFB, 0xF3})));
    EXPECT_EQ(other, "WARNING: unknown command: <FOO>\nWARNING: unknown command: <0X00>\n");
}

TEST(SimEndToEnd, EveryWaitLastsAtLeastWhatWasAsked) {
    const RunResult run = sim({"r", "menu", "enter"});
    ASSERT_EQ(run.exitCode, 0);
    // From the write before each wait to the write after it: never less than asked, to
    // the microsecond (key holds and idle gaps of 15 ms, the 500 ms pause).
    const std::vector<WaitSpan> waits = waitSpans(run.err);
    ASSERT_EQ(waits.size(), 2U * 6 + 1);  // MENU ENTER in, PREV ENTER PREV ENTER back
    for (const WaitSpan& wait : waits) {
        EXPECT_GE(wait.lastedMicros, wait.askedMs * 1000) << "wait of " << wait.askedMs << " ms";
    }
}

TEST(SimEndToEnd, WithoutArgumentsShowsUsageOnly) {
    const RunResult run = sim({});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "") << "no trace: the port is not opened";
    EXPECT_NE(
        run.out.find("  Usage: " PMC10_SIM " ( [r] { <PMC 10 command> } | cable | commands ) \n"),
        std::string::npos);
}

}  // namespace

namespace {

TEST(SimEndToEnd, UsageNamesTheProgramAsInvoked) {
    char dir[] = "/tmp/pmc10-name-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/My PMC10.Tool";
    ASSERT_EQ(symlink(PMC10_SIM, link.c_str()), 0);
    const RunResult run = runProcess(link, {});
    RunOptions renamed;
    renamed.argv0 = "pmc10";
    const RunResult plain = runProcess(PMC10_SIM, {}, renamed);
    unlink(link.c_str());
    rmdir(dir);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.out.find("\n  Usage: " + link + " ( [r] {"), std::string::npos) << run.out;
    EXPECT_EQ(plain.exitCode, 2);
    EXPECT_EQ(plain.out.substr(0, 20), "\n  Usage: pmc10 ( [r");
}

TEST(SimEndToEnd, ScreensNeverOpenThePort) {
    const RunResult cable = sim({"CaBlE"});
    EXPECT_EQ(cable.exitCode, 0);
    EXPECT_EQ(cable.err, "");
    const RunResult commands = sim({"commands"});
    EXPECT_EQ(commands.exitCode, 0);
    EXPECT_EQ(commands.err, "");
    EXPECT_EQ(std::count(commands.out.begin(), commands.out.end(), '\n'), 105);
}

TEST(SimEndToEnd, ChannelTwelve) {
    const RunResult run = sim({"pmcchannel", "12"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "PMCCHANNEL 12\nPREV PREV PREV ENTER PREV ENTER PREV PREV PREV PREV  ENTER");
    const int M = 0xFB, E = 0xF3, P = 0xF5;
    EXPECT_THAT(traceOps(run.err),
                ElementsAreArray(expectedTrace(
                    {M, M, M, M, E, E, M, M, 0xF1, 0xFE, -1, P, P, P, E, P, E, P, P, P, P, E})));
}

TEST(SimEndToEnd, PedalCalibrationWithAnswersOnAPipe) {
    for (const char* input : {"ok\nok\n", "ok ok\n", "\n  \nno\n\nx\n"}) {
        RunOptions options;
        options.input = input;
        const RunResult run = sim({"calibratepedal", "2"}, options);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out,
                  "Place pedal 2 down, then\ntype \"ok\" followed by return key when done.\n"
                  "Place pedal 2 up, then\ntype \"ok\" followed by return key when done.\n"
                  "done.\n");
        const std::vector<std::string> ops = traceOps(run.err);
        EXPECT_EQ(std::count(ops.begin(), ops.end(), "sleep 15"), 2 * 42);
    }
    RunOptions closed;
    closed.closeStdin = true;
    const RunResult run = sim({"calibratepedal", "1"}, closed);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5);
    const std::vector<std::string> ops = traceOps(run.err);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "sleep 15"), 2 * 40);
}

}  // namespace
