// The COMMANDS screen, generated from the two tables: as shipped, and every row of the tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <utility>

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

// The verb in any case prints the screen as shipped (its fingerprint): every key and compound
// of the tables in name order, each row "  NAME", spaces, "-> " and what it stands for.
TEST_F(ListingTest, VerbInAnyCaseListsEveryKeyAndCompoundInNameOrderLeavingNumbersDecimal) {
    const EntryRun run = runEntryWith({"Commands"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, screen());
    EXPECT_EQ(run.err, "");
    std::ostringstream probe;
    probe.copyfmt(std::cout);
    probe << 255;
    EXPECT_EQ(probe.str(), "255") << "the listing restores the stream's number format";
    EXPECT_EQ(fingerprint(run.out), 0xb067aa43b82f8545U) << run.out;
    const std::vector<std::string> l = textLines(run.out);
    ASSERT_EQ(l.size(), 2 + keyCodes.size() + 2 + compoundCommands.size() + 1);
    std::size_t i = 2;
    const auto row = [&](const std::string& name, const std::string& what) {
        const std::string& line = l[i++];
        const std::size_t arrow = line.find_first_not_of(' ', 2 + name.size());
        EXPECT_TRUE(line.rfind("  " + name + " ", 0) == 0 && arrow != std::string::npos &&
                    line.substr(arrow) == "-> " + what)
            << line;
    };
    for (const auto& [name, code] : keyCodes) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%02x", static_cast<unsigned>(code));
        row(name, hex);
    }
    i += 2;
    for (const auto& [name, expansion] : compoundCommands) {
        EXPECT_TRUE(expansion.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+- ") ==
                        std::string::npos &&
                    expansion.front() != ' ' && expansion.back() != ' ')
            << name;
        row(name, expansion);
    }
    EXPECT_EQ(writeCount(), 0);
}

TEST_F(ListingTest, EmptyTables) {
    std::map<std::string, KeyCode> keys = std::exchange(keyCodes, {});
    EXPECT_EQ(screen().rfind("\n  Available Commands\n\n  Compound commands\n  BANKASSPEDALS ", 0),
              0U);
    std::map<std::string, std::string> compounds = std::exchange(compoundCommands, {});
    EXPECT_EQ(screen(), "\n  Available Commands\n\n  Compound commands\n\n");
    keyCodes = std::move(keys);
    compoundCommands = std::move(compounds);
}

}  // namespace
