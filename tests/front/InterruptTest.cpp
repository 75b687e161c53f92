// An interrupted run must not leave a key pressed: whatever moment a signal arrives, the
// last thing on the port is the idle value and the status is 128 + the signal number.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <thread>

#include "support/SimTrace.h"
#include "support/Subprocess.h"

namespace {

int countOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

/// Sends `signalNumber` once, `delayMs` after the `nth` appearance of `line` in the trace.
std::function<void(pid_t, const std::string&)> signalAfter(const std::string& line, int nth,
                                                           int delayMs, int signalNumber) {
    auto sent = std::make_shared<bool>(false);
    return [=](pid_t child, const std::string& err) {
        if (!*sent && countOf(err, line) >= nth) {
            *sent = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            kill(child, signalNumber);
        }
    };
}

TEST(Interrupt, AnySignalInsideAStrokeLeavesThePortIdle) {
    std::mt19937 random(std::random_device{}());
    std::vector<std::string> args{"r"};
    for (int i = 0; i < 30; ++i) {
        args.push_back(i % 2 == 0 ? "menu" : "enter");
    }
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        // Somewhere among the first strokes: while the code is held, or during the idle gap.
        const int nth = std::uniform_int_distribution<int>(1, 6)(random);
        const int delayMs = std::uniform_int_distribution<int>(0, 29)(random);
        SCOPED_TRACE("signal " + std::to_string(signalNumber) + " after stroke " +
                     std::to_string(nth) + " + " + std::to_string(delayMs) + " ms");
        RunOptions options;
        options.onStderr = signalAfter("out 0x378 0xfb", nth, delayMs, signalNumber);
        const RunResult run = runProcess(PMC10_SIM, args, options);
        EXPECT_EQ(run.exitCode, 128 + signalNumber);
        const std::vector<std::string> ops = traceOps(run.err);
        ASSERT_FALSE(ops.empty());
        EXPECT_EQ(ops.back(), "out 0x378 0xff");
        EXPECT_LT(ops.size(), 100U) << "the run stopped early";
    }
}

TEST(Interrupt, SilentTerminalDuringCalibrationCanBeInterrupted) {
    RunOptions options;
    options.silentStdin = true;
    // 18 strokes open the pedal page; then the tool waits for an answer that never comes.
    options.onStderr = signalAfter("sleep 15", 36, 100, SIGINT);
    const RunResult run = runProcess(PMC10_SIM, {"calibratepedal", "1"}, options);
    EXPECT_EQ(run.exitCode, 130);
    EXPECT_EQ(run.out, "Place pedal 1 down, then\ntype \"ok\" followed by return key when done.\n");
    const std::vector<std::string> ops = traceOps(run.err);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "sleep 15"), 36);
    EXPECT_EQ(ops.back(), "out 0x378 0xff");
}

TEST(Interrupt, BrokenOutputPipeEndsTheRunWithThePortIdle) {
    RunOptions options;
    options.stdoutMode = RunOptions::Stdout::BrokenPipe;
    const RunResult run = runProcess(PMC10_SIM, {"rd", "menu"}, options);
    EXPECT_EQ(run.exitCode, 128 + SIGPIPE);
    const std::vector<std::string> ops = traceOps(run.err);
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops.back(), "out 0x378 0xff");
}

}  // namespace
