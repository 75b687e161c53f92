// Signals never leave a key pressed and never cut a stroke in half: a signal that ends
// the process releases the key at once and the process dies by that same signal (so a
// calling shell stops too); a stop signal waits for the stroke to finish; a signal the
// tool was started with ignored stays ignored; output that cannot be written changes
// neither the strokes nor the status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <random>
#include <thread>

#include "support/SimTrace.h"
#include "support/Subprocess.h"

namespace {

/// Calls `act` once, on the `nth` appearance of `line` in the trace.
std::function<void(pid_t, const std::string&)> onceAfter(const std::string& line, int nth,
                                                         std::function<void(pid_t)> act) {
    auto done = std::make_shared<bool>(false);
    return [=](pid_t child, const std::string& err) {
        if (!*done && countOf(err, line) >= nth) {
            *done = true;
            act(child);
        }
    };
}

/// Sends `signalNumber` once, `delayMs` after the `nth` appearance of `line` in the trace,
/// to the child or (`group`) to its process group.
std::function<void(pid_t, const std::string&)> signalAfter(const std::string& line, int nth,
                                                           int delayMs, int signalNumber,
                                                           bool group = false) {
    return onceAfter(line, nth, [=](pid_t child) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        kill(group ? -child : child, signalNumber);
    });
}

TEST(Interrupt, EveryEndingSignalLetsTheKeyFinishThenKillsTheRunByThatSignal) {
    std::mt19937 random(std::random_device{}());
    const std::vector<int> crashes{SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};
    std::vector<int> endings{SIGHUP,  SIGINT,    SIGQUIT,  SIGUSR1,      SIGUSR2,   SIGALRM,
                             SIGTERM, SIGSTKFLT, SIGXCPU,  SIGXFSZ,      SIGVTALRM, SIGPROF,
                             SIGIO,   SIGPWR,    SIGRTMIN, SIGRTMIN + 5, SIGRTMAX,  SIGTERM,
                             SIGTERM, SIGINT,    SIGHUP};
    endings.insert(endings.end(), crashes.begin(), crashes.end());
    std::vector<std::string> manyStrokes{"r"};
    for (int i = 0; i < 30; ++i) {
        manyStrokes.push_back(i % 2 == 0 ? "menu" : "enter");
    }
    for (const int signalNumber : endings) {
        // At a random moment of the strokes: in a hold, in a gap, in a write.
        const int delay = std::uniform_int_distribution<int>(0, 250)(random);
        SCOPED_TRACE("signal " + std::to_string(signalNumber) + " after " + std::to_string(delay) +
                     " ms");
        RunOptions options;
        const auto started = std::chrono::steady_clock::now();
        auto sentAt = started;
        options.onStderr = onceAfter("out 0x378 0xfb", 1, [&](pid_t child) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            kill(child, signalNumber);
            sentAt = std::chrono::steady_clock::now();
        });
        const RunResult run = runProcess(PMC10_SIM, manyStrokes, options);
        EXPECT_EQ(run.signal, signalNumber);
        const std::vector<TraceLine> trace = parseTrace(run.err);
        ASSERT_FALSE(trace.empty());
        EXPECT_EQ(trace.back().op, "out 0x378 0xff");
        // The child's clock starts after `started`, so the signal came at most this long
        // into its trace: after it, the run has one stroke to finish (30 ms, and more for
        // a loaded machine's scheduling), not the rest of its strokes.
        const long sentMicros = static_cast<long>(
            std::chrono::duration_cast<std::chrono::microseconds>(sentAt - started).count());
        EXPECT_LE(trace.back().micros, sentMicros + 200000) << "the run went on";
        if (std::find(crashes.begin(), crashes.end(), signalNumber) == crashes.end()) {
            // No stroke cut short: a crash alone idles the port at once.
            expectWaitsKept(run.err, true);
        }
    }
}

TEST(Interrupt, SignalsIgnoredAtStartStayIgnored) {
    RunOptions options;
    options.ignoredSignals = {SIGHUP, SIGINT, SIGQUIT};
    options.onStderr = signalAfter("out 0x378 0xfb", 1, 3, SIGHUP);
    const RunResult hup = runProcess(PMC10_SIM, {"rd", "menu", "next"}, options);
    EXPECT_EQ(hup.exitCode, 0);
    EXPECT_EQ(traceOps(hup.err), expectedTrace({0xFB, 0xFB, -1, 0xF5, 0xF5, 0xF3}));
    options.onStderr = signalAfter("out 0x378 0xfb", 1, 3, SIGINT);
    EXPECT_EQ(runProcess(PMC10_SIM, {"r", "menu"}, options).exitCode, 0);
}

TEST(Interrupt, CtrlCStopsACallingShellLoop) {
    RunOptions options;
    options.ownProcessGroup = true;
    options.onStderr = signalAfter("out 0x378 0xfb", 1, 3, SIGINT, true);
    const std::string loop =
        std::string("for i in 1 2 3; do '") + PMC10_SIM + "' r menu next; done";
    const RunResult run = runProcess("/bin/bash", {"-c", loop}, options);
    EXPECT_EQ(countOf(run.err, "] init"), 1) << "a later run stroked keys";
    EXPECT_EQ(traceOps(run.err).back(), "out 0x378 0xff");
}

TEST(Interrupt, StopWaitsForTheStrokeAndTheRunGoesOnAfterContinue) {
    for (const int stop : {SIGTSTP, SIGTTIN, SIGTTOU}) {
        SCOPED_TRACE(stop);
        RunOptions options;
        // A group of its own under this test, so never an orphaned one, whose stop
        // signals the kernel would discard.
        options.ownProcessGroup = true;
        auto stopped = std::make_shared<bool>(false);
        // 3 ms into the second hold of MENU.
        options.onStderr = onceAfter("out 0x378 0xfb", 2, [=](pid_t child) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            kill(child, stop);
            // The stop must really happen, and by that signal.
            siginfo_t info{};
            waitid(P_PID, static_cast<id_t>(child), &info, WSTOPPED | WEXITED | WNOWAIT);
            *stopped = info.si_code == CLD_STOPPED && info.si_status == stop;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            kill(child, SIGCONT);
        });
        const RunResult run = runProcess(PMC10_SIM, {"rd", "menu", "next", "enter"}, options);
        EXPECT_TRUE(*stopped);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(traceOps(run.err),
                  expectedTrace({0xFB, 0xFB, 0xF3, -1, 0xF5, 0xF3, 0xF5, 0xF5, 0xF3}));
        expectWaitsKept(run.err, true);
        // The hold the stop came in (the second) ended on time: the stop waited for it.
        const std::vector<WaitSpan> waits = waitSpans(run.err);
        ASSERT_GE(waits.size(), 3U);
        EXPECT_TRUE(waits[2].hold);
        EXPECT_LT(waits[2].lastedMicros, 100000) << "held while stopped";
    }
}

TEST(Interrupt, ASignalEndsARunWhoseTraceNobodyReads) {
    // Standard error stops being read once the port has opened, and fills up: a signal
    // must still end the run.
    RunOptions options;
    options.stderrReadLimit = 1;
    std::thread killer;
    options.onStderr = [&killer](pid_t child, const std::string&) {
        killer = std::thread([child] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            kill(child, SIGTERM);
            std::this_thread::sleep_for(std::chrono::seconds(1));
            kill(child, SIGKILL);  // SIGTERM was not taken
        });
    };
    const RunResult run =
        runProcess(PMC10_SIM, {"r", "menu", std::string(120000, 'q'), "menu"}, options);
    killer.join();
    EXPECT_EQ(run.signal, SIGTERM);
}

TEST(Interrupt, SilentTerminalDuringCalibrationCanBeInterrupted) {
    RunOptions options;
    options.silentStdin = true;
    // 18 strokes open the pedal page; then the tool waits for an answer that never comes.
    options.onStderr = signalAfter(kKeyWaitLine, 36, 100, SIGINT);
    const RunResult run = runProcess(PMC10_SIM, {"calibratepedal", "1"}, options);
    EXPECT_EQ(run.signal, SIGINT);
    EXPECT_EQ(run.out, "Place pedal 1 down, then\ntype \"ok\" followed by return key when done.\n");
    const std::vector<std::string> ops = traceOps(run.err);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), kKeyWaitLine), 36);
    EXPECT_EQ(ops.back(), "out 0x378 0xff");
}

TEST(Interrupt, AnInterruptedProcedureSaysWhereTheControllerWasLeft) {
    RunOptions options;
    // The first digit of the channel, typed on the MIDI channel page; a second signal
    // right behind the first changes nothing: it neither repeats the note nor wins.
    options.onStderr = onceAfter("out 0x378 0xf1", 1, [](pid_t child) {
        // In the gap after it, so that the port is idled at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(22));
        kill(child, SIGINT);
        kill(child, SIGTERM);
    });
    const RunResult run = runProcess(PMC10_SIM, {"pmcchannel", "12"}, options);
    EXPECT_EQ(run.signal, SIGINT);
    std::string lines;
    const std::vector<std::string> ops = traceOps(run.err, &lines);
    EXPECT_EQ(ops.back(), "out 0x378 0xff");
    EXPECT_EQ(lines,
              "pmc10: interrupted on the MIDI channel page; `pmc10 rd red10channel` walks in and "
              "out again, PREV steps back\n");
}

}  // namespace
