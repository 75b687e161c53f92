// Signals never leave a key pressed and never cut a stroke in half: a signal that ends
// the process releases the key at once and the process dies by that same signal (so a
// calling shell stops too); a stop signal waits for the stroke to finish; a signal the
// tool was started with ignored stays ignored; output that cannot be written changes
// neither the strokes nor the status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <regex>
#include <sstream>
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

/// Sends `signalNumber` once, `delayMs` after the `nth` appearance of `line` in the trace,
/// to the child or (`group`) to its process group.
std::function<void(pid_t, const std::string&)> signalAfter(const std::string& line, int nth,
                                                           int delayMs, int signalNumber,
                                                           bool group = false) {
    auto sent = std::make_shared<bool>(false);
    return [=](pid_t child, const std::string& err) {
        if (!*sent && countOf(err, line) >= nth) {
            *sent = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            kill(group ? -child : child, signalNumber);
        }
    };
}

/// The port writes of a trace with their times in microseconds.
std::vector<std::pair<long, std::string>> timedWrites(const std::string& err) {
    static const std::regex kWrite(R"(^\[ *(\d+)\.(\d{3})\] out 0x378 0x([0-9a-f]{2})$)");
    std::vector<std::pair<long, std::string>> out;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, kWrite)) {
            out.emplace_back(std::stol(m[1]) * 1000 + std::stol(m[2]), m[3]);
        }
    }
    return out;
}

std::vector<std::string> manyStrokes() {
    std::vector<std::string> args{"r"};
    for (int i = 0; i < 30; ++i) {
        args.push_back(i % 2 == 0 ? "menu" : "enter");
    }
    return args;
}

TEST(Interrupt, EveryEndingSignalReleasesTheKeyAndKillsTheRunByThatSignal) {
    std::mt19937 random(std::random_device{}());
    std::vector<int> endings{SIGHUP,  SIGINT,    SIGQUIT, SIGILL,   SIGTRAP,      SIGABRT,
                             SIGBUS,  SIGFPE,    SIGUSR1, SIGSEGV,  SIGUSR2,      SIGALRM,
                             SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ,  SIGVTALRM,    SIGPROF,
                             SIGIO,   SIGPWR,    SIGSYS,  SIGRTMIN, SIGRTMIN + 5, SIGRTMAX};
    for (const int signalNumber : endings) {
        // During a hold: the code was written and its 15 ms have not passed.
        const int nth = std::uniform_int_distribution<int>(1, 4)(random);
        SCOPED_TRACE("signal " + std::to_string(signalNumber) + " in hold " + std::to_string(nth));
        RunOptions options;
        options.onStderr = signalAfter("out 0x378 0xfb", nth, 3, signalNumber);
        const RunResult run = runProcess(PMC10_SIM, manyStrokes(), options);
        EXPECT_EQ(run.signal, signalNumber);
        const std::vector<std::string> ops = traceOps(run.err);
        ASSERT_FALSE(ops.empty());
        EXPECT_EQ(ops.back(), "out 0x378 0xff");
        EXPECT_LT(ops.size(), 100U) << "the run went on";
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
        auto sent = std::make_shared<bool>(false);
        options.onStderr = [sent, stop](pid_t child, const std::string& err) {
            if (!*sent && countOf(err, "out 0x378 0xfb") >= 2) {
                *sent = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
                kill(child, stop);
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                kill(child, SIGCONT);
            }
        };
        const RunResult run = runProcess(PMC10_SIM, {"rd", "menu", "next", "enter"}, options);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(traceOps(run.err),
                  expectedTrace({0xFB, 0xFB, 0xF3, -1, 0xF5, 0xF3, 0xF5, 0xF5, 0xF3}));
        // The long stretch is the stop: the key before it was released, and every hold
        // lasted its 15 ms in full.
        const auto writes = timedWrites(run.err);
        std::size_t longest = 1;
        for (std::size_t i = 1; i < writes.size(); ++i) {
            if (writes[i].first - writes[i - 1].first >
                writes[longest].first - writes[longest - 1].first) {
                longest = i;
            }
            if (writes[i - 1].second != "ff") {
                EXPECT_GE(writes[i].first - writes[i - 1].first, 15000) << "a hold was cut short";
            }
        }
        EXPECT_GE(writes[longest].first - writes[longest - 1].first, 250000);
        EXPECT_EQ(writes[longest - 1].second, "ff") << "a key was held while stopped";
    }
}

TEST(Interrupt, ASignalEndsARunWhoseTraceNobodyReads) {
    // Standard error is a pipe that is already full and never read: the trace cannot be
    // written, and a signal must still end the run at once.
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_NONBLOCK), 0);
    const std::string filler(4096, 'x');
    while (write(pipeFds[1], filler.data(), filler.size()) > 0) {
    }
    fcntl(pipeFds[1], F_SETFL, 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], 2);
        execl(PMC10_SIM, PMC10_SIM, "r", "menu", "menu", "menu", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto sent = std::chrono::steady_clock::now();
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    const auto took = std::chrono::steady_clock::now() - sent;
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_LT(took, std::chrono::milliseconds(100));
}

TEST(Interrupt, SilentTerminalDuringCalibrationCanBeInterrupted) {
    RunOptions options;
    options.silentStdin = true;
    // 18 strokes open the pedal page; then the tool waits for an answer that never comes.
    options.onStderr = signalAfter("sleep 15", 36, 100, SIGINT);
    const RunResult run = runProcess(PMC10_SIM, {"calibratepedal", "1"}, options);
    EXPECT_EQ(run.signal, SIGINT);
    EXPECT_EQ(run.out, "Place pedal 1 down, then\ntype \"ok\" followed by return key when done.\n");
    const std::vector<std::string> ops = traceOps(run.err);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "sleep 15"), 36);
    EXPECT_EQ(ops.back(), "out 0x378 0xff");
}

TEST(Interrupt, AnInterruptedProcedureSaysWhereTheControllerWasLeft) {
    RunOptions options;
    // The first digit of the channel, typed on the MIDI channel page.
    options.onStderr = signalAfter("out 0x378 0xf1", 1, 3, SIGINT);
    const RunResult run = runProcess(PMC10_SIM, {"pmcchannel", "12"}, options);
    EXPECT_EQ(run.signal, SIGINT);
    std::string lines;
    const std::vector<std::string> ops = traceOps(run.err, &lines);
    EXPECT_EQ(ops.back(), "out 0x378 0xff");
    EXPECT_EQ(lines,
              "pmc10: interrupted on the MIDI channel page; `pmc10 rd red10channel` walks in and "
              "out again, PREV steps back\n");
}

TEST(Interrupt, UnreadOutputNeitherEndsNorChangesTheRun) {
    for (const auto mode : {RunOptions::Stdout::BrokenPipe, RunOptions::Stdout::Full}) {
        RunOptions options;
        options.stdoutMode = mode;
        const RunResult walk = runProcess(PMC10_SIM, {"rd", "editbankname"}, options);
        EXPECT_EQ(walk.exitCode, 0);
        EXPECT_EQ(traceOps(walk.err),
                  expectedTrace({0xFB, 0xFB, 0xF3, 0xFB, -1, 0xF5, 0xF5, 0xF3, 0xF5, 0xF5, 0xF3}));
        const RunResult channel = runProcess(PMC10_SIM, {"pmcchannel", "12"}, options);
        EXPECT_EQ(channel.exitCode, 0);
        EXPECT_EQ(traceOps(channel.err).size(), 1 + 21 * 8 + 1U);
    }
}

TEST(Interrupt, CalibrationAnswersStayBoundedWhateverArrives) {
    RunOptions options;
    options.input = std::string(8 << 20, '\0');
#if !defined(__SANITIZE_ADDRESS__)
    options.addressSpaceLimit = 64UL << 20;  // the sanitizers' shadow memory needs far more
#endif
    const RunResult zeros = runProcess(PMC10_SIM, {"calibratepedal", "1"}, options);
    EXPECT_EQ(zeros.signal, 0);
    EXPECT_EQ(zeros.exitCode, 0);
    options.input = std::string(8 << 20, 'x');
    const RunResult endless = runProcess(PMC10_SIM, {"calibratepedal", "2"}, options);
    EXPECT_EQ(endless.exitCode, 0);
    EXPECT_EQ(endless.out.substr(endless.out.size() - 6), "done.\n");
}

}  // namespace
