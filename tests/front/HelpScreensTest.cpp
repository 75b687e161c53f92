// The usage and cable screens as shipped, byte for byte, and what the cable screen says
// held against the wiring drawing; every option, verb and PORT form in every document.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string_view>

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

// The cable screen as shipped (its fingerprint), the verb in any case, the port never
// opened; its table held against the README's wiring drawing, where each DB-25 pin and the
// DIN pin wired to it share a height, and its colours against the screen's own lists.
TEST(CableScreen, StandsAsShippedAndAgreesWithTheWiringDrawing) {
    portlib::recorder::clear();
    std::string screen;
    for (const char* verb : {"cable", "Cable", "CABLE", "cAbLe"}) {
        const EntryRun run = runEntryWith({verb, "ignored"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(fingerprint(screen = run.out), 0x3ecb683619760398U) << screen;
        EXPECT_EQ(run.err, "");
    }
    EXPECT_TRUE(portlib::recorder::operations().empty()) << "help never opens the port";
    const std::string drawing = fileText(PMC10_SOURCE_DIR "/docs/cable-db25-din5.svg");
    std::map<std::string, std::string> portPin, dinPin, drawn, table;  // pins by height
    for (std::size_t at = drawing.find("y=\""); at != std::string::npos;
         at = drawing.find("y=\"", at + 1)) {
        // y="85">pin 2 or y="85">A (9 o'clock
        Scan label(std::string_view(drawing).substr(at));
        std::string height, pin, clock;
        if (label.take("y=\"") && label.span(kDigits, &height) && label.take("\">")) {
            Scan din = label;
            if (label.take("pin ") && label.span(kDigits, &pin)) {
                portPin[height] = pin;
            } else if (din.span("ABCDE", &pin) && pin.size() == 1 && din.take(" (") &&
                       din.span(kDigits, &clock) && din.take(" o'clock")) {
                dinPin[height] = pin + " " + clock;
            }
        }
    }
    for (const auto& [height, din] : dinPin) {
        drawn[din.substr(0, 1)] = din.substr(2) + " o'clock, port pin " + portPin[height];
    }
    std::string radioShack, jayCar;
    for (const std::string& line : textLines(screen)) {
        // "  Pin C =~  7 o'clock    Black                18 (ground)       Orange"
        Scan row(line);
        std::string din, clock, radio, pin, jay;
        if (row.take("  Pin ") && row.span("ABCDE", &din) && din.size() == 1 && row.take(" =~") &&
            row.span(" ") && row.span(kDigits, &clock) && row.take(" o'clock") && row.span(" ") &&
            row.until(kWhiteSpace, &radio) && row.span(" ") && row.span(kDigits, &pin) &&
            (row.take(" (ground)") || true) && row.span(" ") && row.until(kWhiteSpace, &jay) &&
            row.rest().empty()) {
            table[din] = clock + " o'clock, port pin " + pin;
            radioShack += (radioShack.empty() ? "" : ", ") + radio;
            jayCar += (jayCar.empty() ? "" : ", ") + jay;
        }
    }
    EXPECT_EQ(drawn.size(), 5U);
    EXPECT_EQ(table, drawn);
    EXPECT_NE(screen.find("The colors " + radioShack + " refer to Radio Shack"), std::string::npos);
    EXPECT_NE(screen.find("The colors " + jayCar + " refer to Australian Jay Car"),
              std::string::npos);
}

std::string lowered(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    return name;
}

/// The manual page as a reader sees its words: no escapes, no font changes.
std::string manualWords(const std::string& roff) {
    std::string text;
    for (std::size_t at = 0; at < roff.size(); ++at) {
        if (roff.compare(at, 2, "\\f") == 0 && at + 2 < roff.size() &&
            std::string_view("BIRP").find(roff[at + 2]) != std::string_view::npos) {
            at += 2;
        } else if (roff.compare(at, 2, "\\-") == 0 || roff.compare(at, 2, "\\&") == 0) {
            text += roff[++at] == '-' ? "-" : "";
        } else {
            text += roff[at];
        }
    }
    return text;
}

/// Whether `c` continues a word, an option or a PORT form ("--port", "0x378").
bool inWord(char c) {
    return c == '-' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
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
        bool whole = false;  // not inside a longer word, a path or a "word:"
        for (std::size_t at = text.find(what); !whole && at != std::string::npos;
             at = text.find(what, at + 1)) {
            const std::size_t end = at + what.size();
            whole = (at == 0 ||
                     !(inWord(text[at - 1]) || text[at - 1] == ':' || text[at - 1] == '/')) &&
                    (end == text.size() || !inWord(text[end]));
        }
        EXPECT_TRUE(whole) << what << " is missing from " << where;
    };
    EXPECT_GE(portForms().size(), 4U) << "sim, a parallel port, ftdi, ...";
    for (const auto& document : documents) {
        for (const OptionEntry& option : optionTable()) {
            expectIn(document.text, option.longName, document.name);
            if (option.shortName != 0) {
                expectIn(document.text, std::string{'-', option.shortName}, document.name);
            }
        }
        for (const Verb& verb : verbTable()) {
            expectIn(document.text, lowered(verb.name), document.name);
        }
        for (const PortForm& form : portForms()) {
            // The completion offers what can be typed before the first placeholder.
            const std::string text = form.text;
            expectIn(document.text,
                     document.name == std::string("completion")
                         ? text.substr(0, text.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"))
                         : text,
                     document.name);
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
