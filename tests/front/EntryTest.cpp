// The entry in-process: command sequences with and without the way back, verbs in any
// letter case, and exit statuses, all on the recording port.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "front/Entry.h"
#include "support/ControllerTest.h"
#include "support/EntryRun.h"

namespace {

class EntryTest : public ControllerTest {};

TEST_F(EntryTest, CommandSequences) {
    const struct {
        std::vector<std::string> args;
        const char* strokes;
        const char* out;
        const char* err;
    } cases[] = {
        {{"rd", "editbankname"},
         "fb fb f3 fb pause f5 f5 f3 f5 f5 f3",
         "PREV PREV ENTER PREV PREV  ENTER",
         ""},
        {{"RD", "EditBankName"},
         "fb fb f3 fb pause f5 f5 f3 f5 f5 f3",
         "PREV PREV ENTER PREV PREV  ENTER",
         ""},
        {{"r", "editbankname"}, "fb fb f3 fb pause f5 f5 f3 f5 f5 f3", "", ""},
        {{"r"}, "pause f3", "", ""},
        {{"Rd"}, "pause f3", " ENTER", ""},
        {{"rd", "menu", "next"}, "fb fb pause f5 f5 f3", "PREV PREV  ENTER", ""},
        {{"menu", "r"}, "fb", "", "WARNING: unknown command: <R>\n"},
        {{"0xfb", "next", "enter"}, "fb fb f3", "", ""},
        {{"0X1F3"}, "f3", "", ""},
        {{"menu", "foo", "next"}, "fb fb", "", "WARNING: unknown command: <FOO>\n"},
        {{"menu next"}, "", "", "WARNING: unknown command: <MENU NEXT>\n"},
        {{"cables"}, "", "", "WARNING: unknown command: <CABLES>\n"},
        {{"rd", "rd"}, "pause f3", " ENTER", "WARNING: unknown command: <RD>\n"},
        {{""}, "", "", "WARNING: unknown command: <>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        portlib::recorder::clear();
        const EntryRun run = runEntryWith(c.args);
        EXPECT_EQ(run.status, ExitSuccess);
        EXPECT_EQ(strokes(), c.strokes);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(controller->getReturnPath().empty());
    }
}

TEST_F(EntryTest, ThousandsOfWordsAreAllSent) {
    std::vector<std::string> args{"r"};
    for (int i = 0; i < 5000; ++i) {
        args.push_back(i % 2 == 0 ? "menu" : "prev");
    }
    const EntryRun run = runEntryWith(args);
    EXPECT_EQ(run.status, ExitSuccess);
    EXPECT_EQ(run.err, "");
    // 5000 keys in, 2500 PREVs and one ENTER back.
    const std::string walk = strokes();
    EXPECT_EQ(std::count(walk.begin(), walk.end(), ' ') + 1, 5000 + 1 + 2500 + 1);
    EXPECT_EQ(walk.substr(walk.size() - 8), "f5 f5 f3");
}

TEST_F(EntryTest, NoArgumentsShowsUsageWithStatusTwo) {
    const EntryRun run = runEntryWith({});
    EXPECT_EQ(run.status, ExitUsage);
    EXPECT_EQ(run.out.rfind("\n  Usage: pmc10 ( [r] {", 0), 0U);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(writeCount(), 0);
}

TEST_F(EntryTest, HelpAndVersionOptions) {
    for (const char* option : {"--help", "-h"}) {
        const EntryRun help = runEntryWith({option, "menu"});
        EXPECT_EQ(help.status, ExitSuccess) << option;
        EXPECT_EQ(help.out, runEntryWith({}).out) << option;
        EXPECT_EQ(help.err, "") << option;
    }
    const EntryRun version = runEntryWith({"--version"});
    EXPECT_EQ(version.status, ExitSuccess);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("pmc10 [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
    EXPECT_EQ(writeCount(), 0);
}

}  // namespace

TEST_F(EntryTest, SessionOptionsMisusedStrokeNothing) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"-f"}, "pmc10: -f needs a value (pmc10 --help)\n"},
        {{"-n"}, "pmc10: --dry-run needs command words or --file\n"},
        {{"-f", "x", "menu"}, "pmc10: --file takes no command words after it\n"},
        {{"-i", "menu"}, "pmc10: --interactive takes neither --file nor command words\n"},
        {{"--interactive", "--file=x"},
         "pmc10: --interactive takes neither --file nor command words\n"},
    };
    for (const auto& c : cases) {
        const EntryRun run = runEntryWith(c.args);
        EXPECT_EQ(run.status, ExitUsage) << c.message;
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(writeCount(), 0);
    }
}
