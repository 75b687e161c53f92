// The entry in-process: the strict check, options, a failing port, help, version and the
// port listing, all on the recording port.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "front/Entry.h"
#include "support/ControllerTest.h"
#include "support/EntryRun.h"
#include "support/TextLines.h"

namespace {

class EntryTest : public ControllerTest {};

// Each typo refused by --strict with one line per problem before the port is opened; the
// same line run without --strict keeps its lenient meaning, near misses suggested.
TEST_F(EntryTest, StrictRefusesTyposBeforeThePortAndLenientRunsSuggest) {
    const std::string strict = "pmc10: strict: ", unknown = "WARNING: unknown command: <";
    const auto strictly = [](std::vector<std::string> args) {
        args.insert(args.begin(), "--strict");
        return args;
    };
    const struct {
        std::vector<std::string> args;
        std::string strictErr;  // after its first "pmc10: strict: "
        std::string lenientErr;
        bool lenientStrokes;
    } cases[] = {
        {{"menu", "nxt", "enter"},
         "unknown word <NXT>\npmc10: did you mean NEXT?\n",
         unknown + "NXT>\npmc10: did you mean NEXT?\n",
         true},
        {{"rd", "editpatchnme"},
         "unknown word <EDITPATCHNME>\npmc10: did you mean EDITPATCHNAME, EDITPATCHNR?\n",
         unknown + "EDITPATCHNME>\npmc10: did you mean EDITPATCHNAME, EDITPATCHNR?\n",
         true},
        {{"pmcchannel", "1", "2"},
         "PMCCHANNEL takes one number (<2> would be ignored)\n",
         "",
         true},
        {{"pmcchannel"}, "PMCCHANNEL needs a number (1-16)\n", channelRefusal("0"), false},
        {{"pmcchannel", "x"},
         "PMCCHANNEL: <x> is not a number (1-16)\n",
         channelRefusal("0"),
         false},
        {{"0x1ff"}, "<0X1FF> is above 0xff (only its low byte would be stroked)\n", "", true},
        {{"menu", "rd"}, "<RD> works only as the first word\n", unknown + "RD>\n", true},
        {{"calibratepedal", "3"},
         "CALIBRATEPEDAL: 3 is out of range (1-2)\n",
         pedalRefusal("3"),
         false},
        {{"0x00", "0xfbz", "0x000fb", "menu", "pmcchannel", "2"},
         "<0X00> strokes nothing (hex codes run from 0x01 to 0xff)\n" + strict +
             "<0XFBZ> is not a hex number\n" + strict +
             "<PMCCHANNEL> works only as the first word, alone with its number\n",
         unknown + "0X00>\n" + unknown + "PMCCHANNEL>\n",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        controller->portLink().release();
        portlib::recorder::clear();
        const EntryRun refused = runEntryWith(strictly(c.args));
        EXPECT_EQ(refused.status, ExitUsage);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err, strict + c.strictErr);
        EXPECT_TRUE(portlib::recorder::operations().empty()) << strokes();

        const EntryRun lenient = runEntryWith(c.args);
        EXPECT_EQ(lenient.status, ExitSuccess);
        EXPECT_EQ(lenient.err, c.lenientErr);
        EXPECT_EQ(writeCount() > 0, c.lenientStrokes);
    }
    // A good line runs exactly as without the check: the largest numbers, a recorded walk,
    // and from standard input a calibration whose answers are no command words, the line
    // after them a command again.
    const struct {
        std::vector<std::string> args;
        const char* input;
        const char* err;
        const char* shows;
    } good[] = {
        {{"rd", "editbankname", "0x0fb"}, "", "", "PREV PREV ENTER PREV PREV  ENTER"},
        {{"r", "menu"}, "", "", ""},
        {{"pmcchannel", "16"}, "", "", "PMCCHANNEL 16\n"},
        {{"calibratepedal", "2"}, "ok\nok\n", "", "done.\n"},
        {{"-f", "-"}, "calibratepedal 1\nok\nok\npmcchannel 5\n", "", "done.\nPMCCHANNEL 5\n"},
        {{"-f", "-"},
         "calibratepedal 1\n\n  ok\n# c\nnxt\n",
         "pmc10: strict: <stdin>:5: unknown word <NXT>\npmc10: did you mean NEXT?\n",
         ""},
    };
    for (const auto& c : good) {
        SCOPED_TRACE(testing::PrintToString(c.args) + c.input);
        portlib::recorder::clear();
        const EntryRun lenient = runEntryWith(c.args, c.input);
        const std::string lenientStrokes = strokes();
        portlib::recorder::clear();
        const EntryRun checked = runEntryWith(strictly(c.args), c.input);
        EXPECT_EQ(checked.err, c.err);
        if (*c.err == 0) {
            EXPECT_EQ(checked.status, ExitSuccess);
            EXPECT_EQ(checked.out, lenient.out);
            EXPECT_NE(checked.out.find(c.shows), std::string::npos) << checked.out;
            EXPECT_EQ(strokes(), lenientStrokes);
        } else {
            EXPECT_EQ(checked.status, ExitUsage);
            EXPECT_EQ(writeCount(), 0);
        }
    }
}

TEST_F(EntryTest, APortThatFailsHalfWayStopsTheRunWithStatusOne) {
    const struct {
        std::vector<std::string> args;
        int writes;
        const char* leftBehind;
    } cases[] = {
        {{"rd", "editbankname"}, 10, ""},
        {{"pmcchannel", "12"}, 20, "MIDI channel page"},
        {{"calibratepedal", "1"}, 50, "calibration page"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        portlib::recorder::failAfterWrites(c.writes);
        const EntryRun run = runEntryWith(c.args, "ok\nok\n");
        portlib::recorder::failAfterWrites(-1);
        EXPECT_EQ(run.status, ExitFailure);
        EXPECT_EQ(writeCount(), c.writes) << "nothing reaches a failed port";
        EXPECT_NE(run.err.find("pmc10: the test recorder was unplugged\n"), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(c.leftBehind), std::string::npos) << run.err;
    }
}

TEST_F(EntryTest, HelpAndVersionOptions) {
    for (const char* option : {"--help", "-h"}) {
        const EntryRun help = runEntryWith({option, "menu"});
        EXPECT_EQ(help.status, ExitSuccess) << option;
        // The usage screen unchanged, then the rest (its content: HelpDrift).
        EXPECT_EQ(help.out.rfind(runEntryWith({}).out + "Options", 0), 0U) << option;
        EXPECT_EQ(help.err, "") << option;
    }
    const EntryRun version = runEntryWith({"--version"});
    EXPECT_EQ(version.status, ExitSuccess);
    unsigned major = 0, minor = 0, patch = 0;
    EXPECT_EQ(std::sscanf(version.out.c_str(), "pmc10 %u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(version.out, "pmc10 " + std::to_string(major) + "." + std::to_string(minor) + "." +
                               std::to_string(patch) + "\n");
    EXPECT_EQ(writeCount(), 0);
}

// The listing ends with the simulated port, ready but not counted: the status says
// whether a port of this machine is ready.
TEST_F(EntryTest, PortListingEndsWithTheSimulatedPort) {
    const EntryRun run = runEntryWith({"--list-ports"});
    const std::vector<std::string> lines = textLines(run.out);
    ASSERT_FALSE(lines.empty());
    // The sim line, or why the listing could not be made.
    const std::string& sim = lines.back();
    const std::string ready = " ready (for trying things with no hardware)";
    Scan kind(sim);
    EXPECT_TRUE((kind.take("sim") && kind.span(" ") && kind.take("simulated ") &&
                 kind.rest().size() >= ready.size() &&
                 sim.compare(sim.size() - ready.size(), ready.size(), ready) == 0) ||
                (sim.rfind("pmc10: ", 0) == 0 && sim.find("--port sim") != std::string::npos))
        << sim;
    bool realPortReady = false;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        realPortReady = realPortReady || lines[i].find("  ready") != std::string::npos ||
                        lines[i].find("  default, ready") != std::string::npos;
    }
    EXPECT_EQ(run.status, realPortReady ? ExitSuccess : ExitFailure) << run.out;
    EXPECT_EQ(writeCount(), 0);
}

}  // namespace

// Options before the first word only, in every spelling; every refusal strokes nothing
// and opens nothing, the dry run included; words that only look like options stay words.
TEST_F(EntryTest, OptionsMisusedAreRefusedAndStrokeNothing) {
    const std::string file = writeTemp("cable\nmenu\n");
    const std::string unknownPort =
        "': not a port this tool knows (pmc10 --list-ports shows the ports here)\n";
    const std::string badPort = "pmc10: cannot use port 'bogus" + unknownPort;
    const std::string misplaced =
        "' after the command word 'menu': options come before the first word (pmc10 --help)\n";
    const std::string interactive = "pmc10: --interactive takes neither --file nor command words\n";
    // Refused (status 2) where standard error starts with the prefix.
    const struct {
        std::vector<std::string> args;
        std::string err;
        const char* strokes = "";
        const char* outHas = "";
    } cases[] = {
        {{"-nf"}, "pmc10: -f needs a value (pmc10 --help)\n"},
        {{"--port="}, "pmc10: --port= needs a value (pmc10 --help)\n"},
        {{"-n"}, "pmc10: --dry-run needs command words or --file\n"},
        {{"-f", "x", "menu"}, "pmc10: --file takes no command words after it\n"},
        {{"-i", "menu"}, interactive},
        {{"--interactive", "--file=x"}, interactive},
        {{"--dryrun", "pmcchannel", "5"}, "pmc10: unknown option '--dryrun' (pmc10 --help)\n"},
        {{"-x", "menu"}, "pmc10: unknown option '-x' (pmc10 --help)\n"},
        {{"-nx", "menu"}, "pmc10: unknown option '-x' (pmc10 --help)\n"},
        {{"--help=x"}, "pmc10: --help takes no value (pmc10 --help)\n"},
        {{"menu", "-n"}, "pmc10: option '-n" + misplaced},
        {{"menu", "--strict"}, "pmc10: option '--strict" + misplaced},
        {{"menu", "-psim"}, "pmc10: option '-psim" + misplaced},
        {{"-n", "-p", "bogus", "menu"}, badPort},
        {{"-p", "bogus", "-f", file}, badPort},
        {{"-p", "bogus", "-i"}, badPort},
        // Every line of a message starts with the prefix, even one that the text brought.
        {{"-p", "two\nlines", "menu"}, "pmc10: cannot use port 'two\npmc10: lines" + unknownPort},
        {{"-nf", file}, "", "", "  MENU         0xFB  menu\n1 strokes, total 0.030 s"},
        {{"-n", "--port=sim", "menu"}, "", "", "1 strokes"},
        {{"-"}, "", "fd"},
        {{"--", "-n", "menu"}, "WARNING: unknown command: <-N>\n", "fb"},
        {{"pmcchannel", "-3"}, channelRefusal("-3"), "", "PMCCHANNEL -3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        controller->portLink().release();
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args);
        const bool refused = c.err.rfind("pmc10: ", 0) == 0;
        EXPECT_EQ(run.status, refused ? ExitUsage : ExitSuccess);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(strokes(), c.strokes);
        if (refused) {
            EXPECT_EQ(run.out, "");
            EXPECT_TRUE(portlib::recorder::operations().empty()) << "nothing is opened";
        }
        EXPECT_NE(run.out.find(c.outHas), std::string::npos) << run.out;
    }
    unlink(file.c_str());
}
