// The interactive prompt of pmc10-sim on a real terminal (a pty), as a user meets it:
// completion, a line run, Ctrl-C in a line, in a procedure, in a calibration and with
// text typed, the signals that end it, a start in the background, and the history file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/SimTrace.h"
#include "support/Subprocess.h"
#include "support/TextLines.h"

namespace {

TEST(SimPrompt, SaysWhatTheCommandLineSaysAndGoesOnAfterCtrlC) {
    const std::string home = tempFolder();
    // Two more homes whose history is a link, symbolic or hard, to a file that is not the
    // user's history.
    const std::string linked = tempFolder(), hardLinked = tempFolder();
    const std::string precious = linked + "/precious";
    std::ofstream(precious) << "keep me\n";
    for (const auto& [folder, makeLink] : {std::pair{linked, &symlink}, {hardLinked, &link}}) {
        ASSERT_EQ(mkdir((folder + "/pmc10").c_str(), 0700), 0);
        ASSERT_EQ(makeLink(precious.c_str(), (folder + "/pmc10/history").c_str()), 0);
    }

    const std::string bye = "\x04";
    const std::string channelNote =
        "pmc10: interrupted on the way to the MIDI channel page; PREV steps back towards "
        "performance mode, then `pmc10 pmcchannel 16` starts again\n";
    const std::string pedalNote =
        "pmc10: interrupted on the pedal 1 calibration page; PREV steps back towards "
        "performance mode, then `pmc10 calibratepedal 1` starts again\n";
    const std::string file = writeTemp("calibratepedal 1\nmenu\n");
    struct Session {
        const char* what;
        std::vector<TerminalStep> steps;
        int signal;  // that ends it; 0: it ends with status 0
        std::vector<std::string> shownInOrder;
        std::vector<std::string> neverShown;
        std::vector<std::string> args = {"-i"};
        std::string home{};  // empty: the first one above
    };
    auto endedBy = [&](int signal) {
        return Session{"a signal during a line ends the session by it",
                       {{"pmc10> ", "rd editpatchname enter\r"}, {kKeyWaitLine, "", signal}},
                       signal,
                       {"out 0x378 0xff\n"},
                       {"pmc10> rd editpatchname enter\npmc10> "}};
    };
    // A history that is a link, symbolic or hard, is neither read nor written.
    auto historyIn = [&](const std::string& folder) {
        return Session{"a history that is a link",
                       {{"pmc10> ", "menu\r"}, {"out 0x378 0xfb", ""}, {"pmc10> ", bye}},
                       0,
                       {"out 0x378 0xfb"},
                       {"keep me"},
                       {"-i"},
                       folder};
    };
    const Session sessions[] = {
        {"Tab completes, Ctrl-C drops the rest of a line and clears typed text",
         {{"pmc10> ", "editpa\t"},
          {"tch", "\x15menu\r"},
          {"pmc10> ", "rd editpatchname enter enter enter\r"},
          {kKeyWaitLine, "\x03"},
          {"pmc10> ", "abc"},
          {"abc", "\x03"},
          {"pmc10> ", "menu\r"},
          {"out 0x378 0xfb", ""},
          {"pmc10> ", bye}},
         0,
         {"editpatch", "pmc10: interrupted, the rest of the line is dropped\npmc10> ",
          "abc\npmc10> menu\n"},
         {"ENTER"}},
        {"Ctrl-C in a procedure",
         {{"pmc10> ", "pmcchannel 16\r"}, {"out 0x378 0xfb", "\x03"}, {"pmc10> ", bye}},
         0,
         {"PMCCHANNEL 16\n", channelNote + "pmc10> "},
         {"ENTER", kPauseLine}},
        {"Ctrl-C abandons a calibration, and the next line is a command",
         {{"pmc10> ", "calibratepedal 1\r"},
          {"when done.\n", "\x03"},
          {"pmc10> ", "menu\r"},
          {"out 0x378 0xfb", ""},
          {"pmc10> ", bye}},
         0,
         {"when done.\n", pedalNote + "pmc10> menu\n", "out 0x378 0xfb"},
         {"done.\n\n", "up, then", "interrupted, the rest"}},
        {"Ctrl-C while a file's calibration waits for the terminal",
         {{"when done.\n", "\x03"}},
         SIGINT,
         {pedalNote},
         {"done.\n\n", "up, then"},
         {"-f", file}},
        endedBy(SIGTERM),
        endedBy(SIGHUP),
        historyIn(linked),
        historyIn(hardLinked),
        {"an end of input typed ahead, which reaches the editor as a NUL byte, ends it",
         {{"pmc10> ", "menu\r"}, {"out 0x378 0xfb", ""}, {"pmc10> ", std::string(1, '\0')}},
         0,
         {"out 0x378 0xfb"},
         {}},
    };
    for (const auto& session : sessions) {
        SCOPED_TRACE(testing::Message() << session.what << ", signal " << session.signal);
        std::vector<std::string> args{
            "XDG_STATE_HOME=" + (session.home.empty() ? home : session.home), PMC10_SIM};
        args.insert(args.end(), session.args.begin(), session.args.end());
        const RunResult run = runOnTerminal("/usr/bin/env", args, session.steps);
        EXPECT_EQ(run.exitCode, session.signal == 0 ? 0 : -1);
        EXPECT_EQ(run.signal, session.signal);
        std::string shown = run.out;
        for (std::size_t c; (c = shown.find("^C")) != std::string::npos;) {
            shown.erase(c, 2);  // the terminal's echo of Ctrl-C
        }
        std::size_t from = 0;
        for (const std::string& text : session.shownInOrder) {
            const std::size_t at = shown.find(text, from);
            EXPECT_NE(at, std::string::npos) << text << "\nshown:\n" << shown;
            from = at == std::string::npos ? from : at + text.size();
        }
        EXPECT_LE(countOf(shown, "pmc10: interrupted"), 1) << shown;
        for (const std::string& text : session.neverShown) {
            EXPECT_EQ(shown.find(text), std::string::npos) << text << "\nshown:\n" << shown;
        }
        // Ended by a signal or not, no hold was cut short and the key is released; ended by
        // none, every code the trace shows is a whole stroke: no pause, no way back after it.
        expectWaitsKept(shown, true);
        const std::vector<std::string> ops = traceOps(shown);
        std::vector<int> codes;
        for (const std::string& op : ops) {
            if (op.rfind("out 0x378 0x", 0) == 0 && op != "out 0x378 0xff") {
                codes.push_back(std::stoi(op.substr(12), nullptr, 16));
            }
        }
        EXPECT_TRUE(session.signal != 0 || ops == expectedTrace(codes)) << shown;
        EXPECT_TRUE(ops.empty() || ops.back() == "out 0x378 0xff") << shown;
    }
    const std::string saved = fileText(home + "/pmc10/history");
    EXPECT_NE(saved.find("menu"), std::string::npos);
    EXPECT_EQ(saved.find("abc"), std::string::npos);
    EXPECT_EQ(fileText(precious), "keep me\n");
    unlink(file.c_str());
    EXPECT_EQ(std::system(("rm -rf " + home + " " + linked + " " + hardLinked).c_str()), 0);
}

TEST(SimPrompt, StartedInTheBackgroundItStopsForTheTerminal) {
    // A shell with job control starts the prompt as a background job: once something is
    // typed, its read of the terminal stops it, as any terminal program; continued in the
    // background, it ends with a failure status.
    const RunResult run =
        runOnTerminal("/bin/bash",
                      {"-c",
                       "set -m; \"$0\" -i & until [[ $(jobs) == *Stopped* ]]; do sleep 0.05; done; "
                       "echo stopped; kill -CONT %1; wait %1; echo \"status $?\"",
                       PMC10_SIM},
                      {{"pmc10> ", "menu\r"}, {"stopped\n", ""}, {"status ", ""}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("pmc10: cannot read standard input: Input/output error\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("status 1\n"), std::string::npos) << run.out;
}

}  // namespace
