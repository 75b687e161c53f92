// Bad input never crashes or hangs, and every run that wrote to the port leaves it idle:
// odd words, huge words, thousands of words, and output that cannot be written.
#include <gtest/gtest.h>

#include "support/SimTrace.h"
#include "support/Subprocess.h"

namespace {

void expectCleanEnd(const RunResult& run, int status) {
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, status);
    const std::vector<std::string> ops = traceOps(run.err);
    if (ops.size() > 1) {
        EXPECT_EQ(ops.back(), "out 0x378 0xff");
    }
}

TEST(BadInput, TenThousandWords) {
    std::vector<std::string> args{"menu"};
    args.insert(args.end(), 9998, "x");
    args.push_back("next");
    const RunResult run = runProcess(PMC10_SIM, args);
    expectCleanEnd(run, 0);
    std::string warnings;
    EXPECT_EQ(traceOps(run.err, &warnings), expectedTrace({0xFB, 0xFB}));
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 9998);
}

TEST(BadInput, EveryByteValueInAWord) {
    std::string word, upper;
    for (int byte = 1; byte <= 255; ++byte) {
        word += static_cast<char>(byte);
        upper += static_cast<char>(byte >= 'a' && byte <= 'z' ? byte - 32 : byte);
    }
    const RunResult run =
        runProcess(PMC10_SIM, {"r", word, "0x" + std::string(100000, '0') + "fb"});
    expectCleanEnd(run, 0);
    std::string warnings;
    EXPECT_EQ(traceOps(run.err, &warnings), expectedTrace({0xFB, -1, 0xF5, 0xF3}));
    EXPECT_EQ(warnings, "WARNING: unknown command: <" + upper + ">\n");
}

TEST(BadInput, HugeWordsOnTheCommandLineAndAsAnAnswer) {
    // Linux caps one argument at 128 KiB; a megabyte can still come as a typed answer.
    const std::string big(120000, 'q');
    const RunResult onLine = runProcess(PMC10_SIM, {big, big});
    expectCleanEnd(onLine, 0);
    std::string warnings;
    traceOps(onLine.err, &warnings);
    const std::string warning = "WARNING: unknown command: <" + std::string(120000, 'Q') + ">\n";
    EXPECT_EQ(warnings, warning + warning);

    RunOptions options;
    options.input = std::string(1 << 20, 'o') + "\n" + std::string(1 << 20, 'k');
    const RunResult answered = runProcess(PMC10_SIM, {"calibratepedal", "2"}, options);
    expectCleanEnd(answered, 0);
    EXPECT_EQ(answered.out.substr(answered.out.size() - 6), "done.\n");
}

TEST(BadInput, StrictRefusalNeverOpensThePort) {
    const RunResult run = runProcess(PMC10_SIM, {"--strict", "pmcchannel", "12", "nxt"});
    expectCleanEnd(run, 2);
    std::string lines;
    EXPECT_TRUE(traceOps(run.err, &lines).empty()) << run.err;
    EXPECT_EQ(lines, "pmc10: strict: PMCCHANNEL takes one number (<nxt> would be ignored)\n");
    EXPECT_EQ(run.out, "");
}

TEST(BadInput, OutputThatCannotBeWritten) {
    const struct {
        std::vector<std::string> args;
        int status;
    } runs[] = {
        {{}, 2}, {{"cable"}, 0}, {{"commands"}, 0}, {{"rd", "menu"}, 0}, {{"pmcchannel", "3"}, 0},
    };
    for (const auto mode : {RunOptions::Stdout::Closed, RunOptions::Stdout::Full}) {
        for (const auto& run : runs) {
            SCOPED_TRACE(testing::PrintToString(run.args));
            RunOptions options;
            options.stdoutMode = mode;
            expectCleanEnd(runProcess(PMC10_SIM, run.args, options), run.status);
        }
    }
}

}  // namespace
