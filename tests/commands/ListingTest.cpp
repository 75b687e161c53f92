// The COMMANDS screen, generated from the two tables: as shipped, and as the manual has them.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "commands/CompoundCommands.h"
#include "commands/Listing.h"
#include "support/ControllerTest.h"
#include "support/EntryRun.h"
#include "support/Manual.h"
#include "support/TextLines.h"

namespace {

std::string screen() {
    CapturedStreams streams;
    printAvailableCommands();
    EXPECT_EQ(streams.err(), "");
    return streams.out();
}

class ListingTest : public ControllerTest {};

// The screen as shipped (its fingerprint), and every key and compound of the manual in it.
TEST_F(ListingTest, EveryKeyAndCompoundOfTheManualInNameOrder) {
    static const std::regex kKey(R"(^  (\S+) +-> 0x([0-9a-f]{2})$)");
    static const std::regex kCompound(R"(^  ([A-Z0-9]+) *-> [A-Z0-9+-]+( +[A-Z0-9+-]+)*$)");
    EXPECT_EQ(fingerprint(screen()), 0xb067aa43b82f8545U) << screen();
    const std::vector<std::string> l = textLines(screen());
    ASSERT_EQ(l.size(), 105U);
    std::map<std::string, int> keys;
    std::vector<std::string> keyNames, compoundNames;
    std::smatch row;
    for (std::size_t i = 2; i < 30 && std::regex_match(l[i], row, kKey); ++i) {
        keyNames.push_back(row[1]);
        keys[row[1]] = std::stoi(row[2], nullptr, 16);
    }
    for (std::size_t i = 32; i < 104 && std::regex_match(l[i], row, kCompound); ++i) {
        compoundNames.push_back(row[1]);
    }
    EXPECT_EQ(keys, manualKeys());
    std::vector<std::string> manual = manualCompoundNames();
    std::sort(manual.begin(), manual.end());
    EXPECT_EQ(compoundNames, manual);
    EXPECT_TRUE(std::is_sorted(keyNames.begin(), keyNames.end()));
    EXPECT_EQ(writeCount(), 0);
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
