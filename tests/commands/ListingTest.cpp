// The COMMANDS screen, generated from the two tables: order, field width, hex codes.
#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "commands/CompoundCommands.h"
#include "commands/Listing.h"
#include "support/ControllerTest.h"
#include "support/EntryRun.h"
#include "support/TextLines.h"

namespace {

std::string screen() {
    CapturedStreams streams;
    printAvailableCommands();
    EXPECT_EQ(streams.err(), "");
    return streams.out();
}

class ListingTest : public ControllerTest {};

TEST_F(ListingTest, ScreenIsBothTablesInNameOrder) {
    std::string expected = "\n  Available Commands\n";
    for (const auto& [name, code] : keyCodes) {
        std::ostringstream row;
        row << "  " << std::left << std::setw(20) << name << " -> 0x" << std::hex << code << "\n";
        expected += row.str();
    }
    expected += "\n  Compound commands\n";
    for (const auto& [name, text] : compoundCommands) {
        std::string padded = name;
        padded.resize(std::max<std::size_t>(20, name.size()), ' ');
        expected += "  " + padded + " -> " + text + "\n";
    }
    expected += "\n";
    const std::string text = screen();
    EXPECT_EQ(text, expected);
    EXPECT_EQ(textLines(text).size(), 105U);
    EXPECT_EQ(writeCount(), 0);
}

TEST_F(ListingTest, RowsAsTheyMustRead) {
    const std::vector<std::string> l = textLines(screen());
    ASSERT_EQ(l.size(), 105U);
    EXPECT_EQ(l[2], "  +                    -> 0xf7");
    EXPECT_EQ(l[3], "  -                    -> 0xfd");
    EXPECT_EQ(l[4], "  0                    -> 0xf9");
    EXPECT_EQ(l[5], "  1                    -> 0xf1");
    EXPECT_EQ(l[29], "  SYS                  -> 0xf8");
    EXPECT_EQ(l[30], "");
    EXPECT_EQ(l[31], "  Compound commands");
    EXPECT_EQ(l[32], "  BANKASSPEDALS        -> BANKMODE NEXT");
    EXPECT_EQ(l[33], "  BANKMODE             -> EDITBANKNAME NEXT");
    EXPECT_EQ(l[34], "  COPYBANK             -> BANKASSPEDALS NEXT");
    EXPECT_EQ(l[103], "  UTILITIES            -> EDITSET MENU");
    const std::string text = screen();
    for (const char* row : {
             "  MENU                 -> 0xfb\n",
             "  NEXT                 -> 0xfb\n",
             "  SET                  -> 0xf7\n",
             "  N-OFF                -> 0xfc\n  N-ON                 -> 0xf6\n"
             "  NEXT                 -> 0xfb\n",
             "  EDITPATCH            -> MENU\n  EDITPATCHNAME        -> EDITPATCHNR NEXT\n"
             "  EDITPATCHNAMEENTER   -> EDITPATCHNAME ENTER\n"
             "  EDITPATCHNR          -> EDITPATCH ENTER\n",
             "  EDITMIDISTRINGAENTER -> EDITMIDISTRINGA ENTER\n",
             "  EDITMIDISTRINGBENTER -> EDITMIDISTRINGB ENTER\n",
             "  MIDIDATADUMPCOMPLETE -> MIDIPRESSENTERDUMP ENTER\n",
             "  MIDIPATCHDUMPCOMPLETE -> DSTPATCH1 ENTER\n",
             "  ENDMIDIDATADUMPCOMPLETE -> PREV PREV PREV PREV PREV PREV ENTER PREV ENTER PREV "
             "PREV PREV PREV  ENTER\n",
         }) {
        EXPECT_NE(text.find(row), std::string::npos) << row;
    }
    EXPECT_EQ(text.find("0xF"), std::string::npos) << "hex digits are lower case";
}

TEST_F(ListingTest, EmptyTables) {
    std::map<std::string, KeyCode> keys;
    keys.swap(keyCodes);
    EXPECT_EQ(screen().rfind("\n  Available Commands\n\n  Compound commands\n  BANKASSPEDALS ", 0),
              0U);
    std::map<std::string, std::string> compounds;
    compounds.swap(compoundCommands);
    EXPECT_EQ(screen(), "\n  Available Commands\n\n  Compound commands\n\n");
    keys.swap(keyCodes);
    compounds.swap(compoundCommands);
}

TEST_F(ListingTest, VerbInAnyCaseLeavesNumbersDecimal) {
    const EntryRun run = runEntryWith({"Commands"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, screen());
    EXPECT_EQ(run.err, "");
    std::ostringstream probe;
    probe.copyfmt(std::cout);
    probe << 255;
    EXPECT_EQ(probe.str(), "255") << "the listing restores the stream's number format";
}

}  // namespace
