// The usage and cable screens, byte for byte: quoted lines exactly, blanks at line ends,
// the empty lines in their places and the column layout of the pin table.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

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

TEST(UsageScreen, QuotedLinesStandAsTheyAre) {
    const std::string text = usageOf("C:\\Tools\\PMC10.EXE");
    ASSERT_EQ(text.back(), '\n');
    const std::vector<std::string> l = textLines(text);
    ASSERT_EQ(l.size(), 25U);
    const std::map<int, std::string> quoted{
        {2, "  Usage: C:\\Tools\\PMC10.EXE ( [r] { <PMC 10 command> } | cable | commands ) "},
        {4, "  Using this software and an appropriate wire connected "},
        {5, "  to the parallel port of your PC you can send "},
        {6, "  commands to your Digitech PMC 10 MIDI Footcontroller. "},
        {8, "  How to build the cable: see the archives of the PMC 10 user group."},
        {9, "  Or call this program with cable as the first argument."},
        {11, "  You can either send hex bytes, e.g. 0xfb or PMC 10 commands, e.g. menu."},
        {12, "  Available commands: Call this program with commands as the"},
        {13, "  first argument. You can also mix them and send entire command sequences."},
        {14, "  \"r\" as the first argument will have the PMC 10 return to performance mode."},
        {18, "  to allow access to the parallel port on Win2K."},
        {25, "  "},
    };
    for (const auto& [number, line] : quoted) {
        EXPECT_EQ(l[number - 1], line) << "line " << number;
    }
    for (int number = 1; number <= 25; ++number) {
        const std::string& line = l[number - 1];
        const bool empty = number == 1 || number == 3 || number == 7 || number == 10 ||
                           number == 15 || number == 21 || number == 24;
        EXPECT_EQ(line.empty(), empty) << "line " << number;
        if (!empty) {
            EXPECT_EQ(line.rfind("  ", 0), 0U) << "line " << number;
            EXPECT_NE(line[2], ' ') << "line " << number;  // own lines: exactly two blanks
        }
    }
    EXPECT_NE(l[15].find("WinIo"), std::string::npos);
}

TEST(UsageScreen, ProgramNameIsWrittenAsReceived) {
    for (const std::string name : {"pmc10", "./build/pmc10-sim", "", "My Tool.exe"}) {
        EXPECT_EQ(textLines(usageOf(name))[1],
                  "  Usage: " + name + " ( [r] { <PMC 10 command> } | cable | commands ) ");
    }
}

TEST(CableScreen, QuotedLinesStandAsTheyAre) {
    const std::vector<std::string> l = textLines(cable());
    ASSERT_EQ(l.size(), 28U);
    const std::vector<std::string> first24{
        "",
        "  How To Build the Cable",
        "",
        "  There are only 4 pins that contain signal values.",
        "  The 5th is ground. ",
        "  ",
        "  If you look at the 5-pin male DIN connector, with the orientation",
        "  tabs at the 4 and 8 o'clock position and the pins pointing toward",
        "  your face, I refer to the pins according to the table below.",
        "  The colors Red, Yellow, Black, Orange, Green refer to Radio Shack ",
        "  6-pin DIN keyboard extender cable (26-149A). ",
        "  The colors Red, Brown, Orange, Green, Black refer to Australian Jay Car ",
        "  6-pin DIN keyboard extender cable. ",
        "  Beware that your cable may be using different colors! ",
        "  ",
        "  PIN      POSITION      RADIO SHACK COLOR    PIN ON PAR.PORT   JAYCAR COLOR",
        "  " + std::string(78, '='),
        "  Pin A =~  9 o'clock    Red                   2                Red",
        "  Pin B =~ 10 o'clock    Yellow                3                Brown",
        "  Pin C =~  7 o'clock    Black                18 (ground)       Orange",
        "  Pin D =~  3 o'clock    Orange                4                Green",
        "  Pin E =~  2 o'clock    Green                 5                Black",
        "",
        "  details:",
    };
    for (std::size_t i = 0; i < first24.size(); ++i) {
        EXPECT_EQ(l[i], first24[i]) << "line " << i + 1;
    }
    for (int number : {25, 26, 27}) {
        EXPECT_EQ(l[number - 1].rfind("     ", 0), 0U) << "line " << number;
        EXPECT_NE(l[number - 1][5], ' ') << "line " << number;
    }
    EXPECT_EQ(l[27], "");
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

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
