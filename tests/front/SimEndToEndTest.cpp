// pmc10-sim run as a user runs it: its standard output, its warnings, its port trace and
// its exit status. These are the only tests that wait for real.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "support/SimTrace.h"
#include "support/Subprocess.h"
#include "support/TextLines.h"

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
    const struct {
        std::vector<std::string> args;
        std::size_t waits;
    } cases[] = {
        // MENU ENTER in, PREV ENTER PREV ENTER back: six holds, the gaps between them (the
        // one before the way back shared with the pause); the last gap no write ends.
        {{"r", "menu", "enter"}, 6U + 5},
        {{"r"}, 1U + 1},  // the pause before the first write, then ENTER's hold
    };
    for (const auto& c : cases) {
        const RunResult run = sim(c.args);
        ASSERT_EQ(run.exitCode, 0);
        // Each value stays on the lines, from the write that put it there (or the opening)
        // to the one that changed it, at least every wait asked meanwhile, to the
        // microsecond (holds and gaps of 15 ms, the 500 ms pause).
        const std::vector<WaitSpan> waits = waitSpans(run.err);
        ASSERT_EQ(waits.size(), c.waits);
        for (const WaitSpan& wait : waits) {
            EXPECT_GE(wait.lastedMicros, wait.askedMs * 1000)
                << "wait of " << wait.askedMs << " ms";
        }
    }
}

// Without arguments: the usage alone, naming the program as invoked; no port is opened.
TEST(SimEndToEnd, UsageNamesTheProgramAsInvoked) {
    const std::string dir = tempFolder();
    const std::string link = dir + "/My PMC10.Tool";
    ASSERT_EQ(symlink(PMC10_SIM, link.c_str()), 0);
    const RunResult run = runProcess(link, {});
    RunOptions renamed;
    renamed.argv0 = "pmc10";
    const RunResult plain = runProcess(PMC10_SIM, {}, renamed);
    unlink(link.c_str());
    rmdir(dir.c_str());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "") << "no trace: the port is not opened";
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
        EXPECT_EQ(std::count(ops.begin(), ops.end(), kKeyWaitLine), 2 * 42);
    }
    RunOptions closed;
    closed.closeStdin = true;
    const RunResult run = sim({"calibratepedal", "1"}, closed);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5);
    const std::vector<std::string> ops = traceOps(run.err);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), kKeyWaitLine), 2 * 40);
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
        std::vector<std::string> listed;
        std::string total;
        for (const std::string& line : textLines(run.out)) {
            // "    30 ms  MENU         0xFB  menu", then "N strokes, total 1.234 s"
            const std::size_t label = std::min(line.rfind(" strokes, total "), line.size());
            Scan stroke(line), sum(std::string_view(line).substr(label));
            std::string at, code, seconds, thousandths;
            if (stroke.span(" ", nullptr, 0) && stroke.span(kDigits, &at) && stroke.take(" ms  ") &&
                stroke.until(kWhiteSpace, nullptr) && stroke.span(" ") && stroke.take("0x") &&
                stroke.span("0123456789ABCDEF", &code) && code.size() == 2 && stroke.take("  ") &&
                !stroke.rest().empty()) {
                std::transform(code.begin(), code.end(), code.begin(), ::tolower);
                listed.push_back(at + " " + code);
            } else if (label > 0 && kDigits.find(line[label - 1]) != std::string::npos &&
                       sum.take(" strokes, total ") && sum.span(kDigits, &seconds) &&
                       sum.take(".") && sum.span(kDigits, &thousandths) &&
                       thousandths.size() == 3 && sum.take(" s") && sum.rest().empty()) {
                total = seconds + "." + thousandths;
            }
        }
        EXPECT_EQ(listed, strokes) << words[0];
        char ideal[32];
        std::snprintf(ideal, sizeof ideal, "%.3f", static_cast<double>(ms) / 1000);
        EXPECT_EQ(total, ideal) << words[0];
        EXPECT_EQ(traceOps(run.err), std::vector<std::string>{}) << "no port is opened";
    }
}

}  // namespace
