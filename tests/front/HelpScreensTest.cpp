// The usage and cable screens as shipped, byte for byte, and what the cable screen says
// held against the wiring drawing; every option, verb and PORT form in every document.
#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "commands/CompoundCommands.h"
#include "commands/Listing.h"
#include "commands/Verbs.h"
#include "front/HelpScreens.h"
#include "front/Options.h"
#include "keypad/Red10.h"
#include "port/Registry.h"
#include "support/EntryRun.h"
#include "support/PortTrace.h"
#include "support/TextLines.h"

namespace {

std::string usageOf(const std::string& programName) {
    const char* argv[] = {programName.c_str()};
    CapturedStreams streams;
    printUsage(CommandLine(1, argv));
    EXPECT_EQ(streams.err(), "");
    return streams.out();
}

std::string cable() {
    CapturedStreams streams;
    printCableHelp();
    EXPECT_EQ(streams.err(), "");
    return streams.out();
}

// The usage screen as shipped (its fingerprint); the program name, as received, is all
// that changes it.
TEST(UsageScreen, StandsAsShippedWithTheProgramNameAsReceived) {
    const std::string shipped = usageOf("pmc10");
    EXPECT_EQ(fingerprint(shipped), 0x75008418ee7c1dbcU) << shipped;
    for (const std::string name : {"./build/pmc10-sim", "", "My Tool.exe", "C:\\PMC10.EXE"}) {
        std::string expected = shipped;
        EXPECT_EQ(usageOf(name), expected.replace(expected.find("pmc10"), 5, name)) << name;
    }
}

// The cable screen as shipped (its fingerprint); its table held against the README's
// wiring drawing, where each DB-25 pin and the DIN pin wired to it share a height, and its
// colours against the screen's own lists of them.
TEST(CableScreen, StandsAsShippedAndAgreesWithTheWiringDrawing) {
    const std::string screen = cable();
    EXPECT_EQ(fingerprint(screen), 0x3ecb683619760398U) << screen;
    const std::string drawing = fileText(PMC10_SOURCE_DIR "/docs/cable-db25-din5.svg");
    static const std::regex kLabel(R"re(y="(\d+)">(?:pin (\d+)|([A-E]) \((\d+) o'clock))re");
    std::map<std::string, std::string> portPin, dinPin, drawn, table;  // pins by height
    for (std::sregex_iterator it(drawing.begin(), drawing.end(), kLabel), end; it != end; ++it) {
        const std::smatch& m = *it;
        (m[2].matched ? portPin : dinPin)[m[1]] =
            m[2].matched ? m[2].str() : m[3].str() + " " + m[4].str();
    }
    for (const auto& [height, din] : dinPin) {
        drawn[din.substr(0, 1)] = din.substr(2) + " o'clock, port pin " + portPin[height];
    }
    static const std::regex kRow(
        R"(  Pin ([A-E]) =~ +(\d+) o'clock +(\S+) +(\d+)(?: \(ground\))? +(\S+))");
    std::string radioShack, jayCar;
    for (const std::string& line : textLines(screen)) {
        std::smatch m;
        if (std::regex_match(line, m, kRow)) {
            table[m[1]] = m[2].str() + " o'clock, port pin " + m[4].str();
            radioShack += (radioShack.empty() ? "" : ", ") + m[3].str();
            jayCar += (jayCar.empty() ? "" : ", ") + m[5].str();
        }
    }
    EXPECT_EQ(drawn.size(), 5U);
    EXPECT_EQ(table, drawn);
    EXPECT_NE(screen.find("The colors " + radioShack + " refer to Radio Shack"), std::string::npos);
    EXPECT_NE(screen.find("The colors " + jayCar + " refer to Australian Jay Car"),
              std::string::npos);
}

TEST(CableScreen, VerbInAnyCaseGivesTheSameScreenWithoutThePort) {
    portlib::recorder::clear();
    for (const char* verb : {"cable", "Cable", "CABLE", "cAbLe"}) {
        const EntryRun run = runEntryWith({verb, "ignored"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, cable());
        EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(portlib::recorder::operations().empty()) << "help never opens the port";
}

std::string lowered(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    return name;
}

/// The manual page as a reader sees its words: no escapes, no font changes.
std::string manualWords(std::string roff) {
    roff = std::regex_replace(roff, std::regex(R"(\\f[BIRP])"), "");
    roff = std::regex_replace(roff, std::regex(R"(\\-)"), "-");
    return std::regex_replace(roff, std::regex(R"(\\&)"), "");
}

// Every option, verb and PORT form of the tables is in --help, in the generated manual
// page and completion, and (options) in the Windows README.txt; every menu word and key
// where a user looks for it.
TEST(HelpDrift, EveryOptionVerbAndPortFormIsInEveryDocument) {
    const EntryRun help = runEntryWith({"--help"});
    const std::string manual = manualWords(fileText(PMC10_BUILD_DIR "/pmc10.1"));
    const std::string completion = fileText(PMC10_BUILD_DIR "/pmc10.bash");
    const std::string readme = fileText(PMC10_BUILD_DIR "/README.txt");
    const struct {
        const char* name;
        const std::string& text;
    } documents[] = {{"--help", help.out}, {"manual", manual}, {"completion", completion}};
    auto expectIn = [](const std::string& text, const std::string& what, const char* where) {
        const std::regex word("(^|[^-A-Za-z0-9:/])" +
                              std::regex_replace(what, std::regex(R"([.?*+()\[\]|^$\\])"), "\\$&") +
                              "($|[^-A-Za-z0-9])");
        EXPECT_TRUE(std::regex_search(text, word)) << what << " is missing from " << where;
    };
    std::vector<std::string> verbs, forms;
    for (const Verb& verb : verbTable()) {
        verbs.push_back(lowered(verb.name));
    }
    for (const PortForm& form : portForms()) {
        forms.push_back(form.text);
    }
    EXPECT_GE(forms.size(), 4U) << "sim, a parallel port, ftdi, ...";
    for (const auto& document : documents) {
        for (const OptionEntry& option : optionTable()) {
            expectIn(document.text, option.longName, document.name);
            if (option.shortName != 0) {
                expectIn(document.text, std::string{'-', option.shortName}, document.name);
            }
        }
        for (const std::string& verb : verbs) {
            expectIn(document.text, verb, document.name);
        }
        for (const std::string& form : forms) {
            // The completion offers what can be typed before the first placeholder.
            const std::string typed =
                document.name == std::string("completion")
                    ? form.substr(0, form.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
                    : form;
            expectIn(document.text, typed, document.name);
        }
    }
    // The menu words in the manual; they and the keys, lower case, in the completion.
    instance();
    for (const auto& entry : compoundCommands) {
        expectIn(manual, entry.first, "manual");
        expectIn(completion, lowered(entry.first), "completion");
    }
    for (const auto& entry : keyCodes) {
        expectIn(completion, lowered(entry.first), "completion");
    }
    for (const OptionEntry& option : optionTable()) {
        expectIn(readme, option.longName, "README.txt");
        expectIn(readme, option.help, "README.txt");
    }
    EXPECT_NE(help.out.find("The manual: "), std::string::npos);
    for (const port::Backend* backend : port::backends()) {
        const std::string name = backend->name;
        EXPECT_TRUE(backend->forms != nullptr || name == "recorder" || name == "dry-run")
            << name << " gives no PORT forms";
    }
}

}  // namespace
