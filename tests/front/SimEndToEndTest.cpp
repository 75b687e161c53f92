// pmc10-sim run as a user runs it: its standard output, its warnings, its port trace and
// its exit status. These are the only tests that wait for real.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "support/EntryRun.h"
#include "support/RecordingPort.h"
#include "support/SimTrace.h"
#include "support/Subprocess.h"
#include "support/TextLines.h"

namespace {

RunResult sim(const std::vector<std::string>& args, const RunOptions& options = {}) {
    return runProcess(PMC10_SIM, args, options);
}

// Each run as a user makes it says, warns and returns what the entry does in-process (the
// usage naming the program as invoked, here through a link), and its trace is exactly its
// strokes. Every value stays on the lines, from the write that put it there (or the
// opening) to the one that changed it, at least every wait asked meanwhile, to the
// microsecond (holds and gaps of 15 ms, the 500 ms pause). Output that cannot be written
// changes neither the strokes nor the status; with standard error closed as well there is
// no trace, the same status, and never a wait for room that cannot come (the alarm ends
// such a run).
TEST(SimEndToEnd, RunsAsTheEntryDoesWhetherTheirOutputIsReadOrNot) {
    const int M = 0xFB, E = 0xF3, P = 0xF5;
    const std::string dir = tempFolder(), link = dir + "/My PMC10.Tool";
    ASSERT_EQ(symlink(PMC10_SIM, link.c_str()), 0);
    const struct {
        std::vector<std::string> args;
        std::vector<int> codes;  // none: a screen, the port never opened
    } runs[] = {
        {{}, {}},
        {{"CaBlE"}, {}},
        {{"commands"}, {}},
        {{"rd"}, {-1, E}},
        {{"rd", "editbankname"}, {M, M, E, M, -1, P, P, E, P, P, E}},
        {{"pmcchannel", "12"},
         {M, M, M, M, E, E, M, M, 0xF1, 0xFE, -1, P, P, P, E, P, E, P, P, P, P, E}},
        {{"menu", "foo", "0X1F3", "0x00"}, {M, E}},
    };
    for (const auto& c : runs) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const std::string path = c.args.empty() ? link : PMC10_SIM;
        const RunResult run = runProcess(path, c.args);
        portlib::recorder::clear();  // the entry's port here: the recorder, its clock virtual
        const EntryRun entry = runEntryWith(c.args, "", path);
        EXPECT_EQ(run.exitCode, entry.status);
        EXPECT_EQ(run.out, entry.out);
        std::string warnings;
        const std::vector<std::string> ops = traceOps(run.err, &warnings);
        EXPECT_EQ(warnings, entry.err);
        EXPECT_EQ(ops, c.codes.empty() ? std::vector<std::string>{} : expectedTrace(c.codes));
        // A hold and a gap a stroke, the pause in the gap before it (or on its own first);
        // the last gap no write ends.
        const long strokes =
            std::count_if(c.codes.begin(), c.codes.end(), [](int code) { return code >= 0; });
        EXPECT_EQ(waitSpans(run.err).size(),
                  c.codes.empty() ? 0 : 2 * strokes - 1 + (c.codes[0] < 0));
        expectWaitsKept(run.err, false);
        for (const auto mode : {RunOptions::Stdout::Closed, RunOptions::Stdout::Full,
                                RunOptions::Stdout::BrokenPipe}) {
            RunOptions options;
            options.stdoutMode = mode;
            const RunResult unread = runProcess(path, c.args, options);
            EXPECT_EQ(unread.exitCode, entry.status);
            EXPECT_EQ(traceOps(unread.err), ops);
        }
        RunOptions closed;
        closed.beforeExec = [] {
            close(2);
            alarm(10);
        };
        EXPECT_EQ(runProcess(path, c.args, closed).exitCode, entry.status);
    }
    unlink(link.c_str());
    rmdir(dir.c_str());
}

// The answers to a calibration's prompts on a pipe: any words, blank lines between them,
// both on one line; endless zeros, an endless word, and a megabyte-long answer before a
// second one, each taken in bounded memory; and no standard input at all (the empty one).
TEST(SimEndToEnd, PedalCalibrationWithAnswersOnAPipe) {
    for (const std::string& input :
         {std::string("ok\nok\n"), std::string("ok ok\n"), std::string("\n  \nno\n\nx\n"),
          std::string(8 << 20, '\0'), std::string(8 << 20, 'x'),
          std::string(1 << 20, 'o') + "\n" + std::string(1 << 20, 'k'), std::string()}) {
        RunOptions options;
        options.input = input;
        options.closeStdin = input.empty();
#if !defined(__SANITIZE_ADDRESS__)
        options.addressSpaceLimit = 64UL << 20;  // the sanitizers' shadow memory needs more
#endif
        const RunResult run = sim({"calibratepedal", "2"}, options);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out,
                  "Place pedal 2 down, then\ntype \"ok\" followed by return key when done.\n"
                  "Place pedal 2 up, then\ntype \"ok\" followed by return key when done.\n"
                  "done.\n");
        const std::vector<std::string> ops = traceOps(run.err);
        EXPECT_EQ(std::count(ops.begin(), ops.end(), kKeyWaitLine), 2 * 42);
        EXPECT_EQ(ops.back(), "out 0x378 0xff");
    }
}

// Sessions: files of command lines, dry runs and the prompt.

std::vector<std::string> withoutInit(std::vector<std::string> ops) {
    ops.erase(std::remove(ops.begin(), ops.end(), "init"), ops.end());
    return ops;
}

TEST(SimSession, FileStrokesWhatItsLinesStrokeOneByOne) {
    const std::vector<std::vector<std::string>> lines{
        {"menu", "enter"},    {"rd", "editbankname"},
        {"pmcchannel", "3"},  {"startcalibratepedal", "1"},
        {"r", "foo", "0xF1"}, {"cable"}};
    std::string text = "# set-up\r\n\r\n";
    std::vector<std::string> oneByOne;
    for (const auto& words : lines) {
        for (const std::string& word : words) {
            text += word + ' ';
        }
        text += "  # comment\r\n\n";
        const std::vector<std::string> ops = withoutInit(traceOps(sim(words).err));
        oneByOne.insert(oneByOne.end(), ops.begin(), ops.end());
    }
    const std::string file = writeTemp(text);
    for (const std::string& name : {file, std::string("-")}) {
        RunOptions options;
        options.input = name == "-" ? text : "";
        const RunResult run = sim({"-f", name}, options);
        std::string other;
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(withoutInit(traceOps(run.err, &other)), oneByOne) << name;
        const std::string shown = name == "-" ? "<stdin>" : name;
        EXPECT_EQ(other, "pmc10: " + shown + ":11:\nWARNING: unknown command: <FOO>\n");
    }
    unlink(file.c_str());
}

TEST(SimSession, StrictChecksEveryLineOfAFileBeforeTheFirstRuns) {
    const std::string path = writeTemp("menu\nmenu nxt\n# fine\npmcchannel 17\n");
    const RunResult run = sim({"--strict", "-f", path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(traceOps(run.err).empty()) << run.err;
    EXPECT_NE(run.err.find(path + ":2"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(path + ":4"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(path + ":1"), std::string::npos) << run.err;
    unlink(path.c_str());
}

TEST(SimSession, DryRunListsWhatThePortWouldBeGivenOnTheIdealSchedule) {
    const std::vector<std::vector<std::string>> cases{{"pmcchannel", "16"},
                                                      {"rd", "editbankname"},
                                                      {"menu", "0XF1", "foo"},
                                                      {"r", "editpatchname", "enter"},
                                                      {"startcalibratepedal", "2"}};
    for (const auto& words : cases) {
        // The schedule the simulated port keeps: each stroke starts where its code is
        // written, and the waits in between are exactly what is asked.
        std::vector<std::string> strokes;
        long ms = 0;
        for (const std::string& op : traceOps(sim(words).err)) {
            if (op.rfind("sleep ", 0) == 0) {
                ms += std::stol(op.substr(6));
            } else if (op.rfind("out 0x378 0x", 0) == 0 && op != "out 0x378 0xff") {
                strokes.push_back(std::to_string(ms) + " " + op.substr(12));
            }
        }
        std::vector<std::string> args{"-n"};
        args.insert(args.end(), words.begin(), words.end());
        const RunResult run = sim(args);
        EXPECT_EQ(run.exitCode, 0);
        const std::vector<std::string> lines = textLines(run.out);
        std::vector<std::string> listed;
        for (const std::string& line : lines) {
            // "    30 ms  MENU         0xFB  menu"
            Scan stroke(line);
            std::string at, code;
            if (stroke.span(" ", nullptr, 0) && stroke.span(kDigits, &at) && stroke.take(" ms  ") &&
                stroke.until(kWhiteSpace, nullptr) && stroke.span(" ") && stroke.take("0x") &&
                stroke.span("0123456789ABCDEF", &code) && code.size() == 2 && stroke.take("  ") &&
                !stroke.rest().empty()) {
                std::transform(code.begin(), code.end(), code.begin(), ::tolower);
                listed.push_back(at + " " + code);
            }
        }
        EXPECT_EQ(listed, strokes) << words[0];
        char total[64];
        std::snprintf(total, sizeof total, "%zu strokes, total %.3f s", strokes.size(),
                      static_cast<double>(ms) / 1000);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), total) << words[0];
        EXPECT_EQ(traceOps(run.err), std::vector<std::string>{}) << "no port is opened";
    }
}

}  // namespace
