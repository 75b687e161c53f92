#include "front/HelpScreens.h"

#include <cctype>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "commands/Verbs.h"
#include "front/Options.h"
#include "keypad/TextHelpers.h"
#include "port/Registry.h"

namespace {

/// One line of a two-column list: the term padded to its column, then the text.
void printRow(const std::string& term, const std::string& text) {
    constexpr std::size_t kTermWidth = 30;
    std::cout << "  " << std::left << std::setw(static_cast<int>(kTermWidth)) << term;
    if (term.size() >= kTermWidth) {
        std::cout << '\n' << std::string(kTermWidth + 2, ' ');
    }
    std::cout << ' ' << text << std::right << '\n';
}

#if defined(_WIN32)
const char* const kManual = "README.txt, next to pmc10.exe, and the pmc10 README";
#else
const char* const kManual = "man pmc10, and the pmc10 README";
#endif

}  // namespace

void printUsage(const CommandLine& commandLine) {
    std::cout << std::endl;
    std::cout << "  Usage: " << commandLine.programName()
              << " ( [r] { <PMC 10 command> } | cable | commands ) " << std::endl;
    printLines({
        "",
        "  Using this software and an appropriate wire connected ",
        "  to the parallel port of your PC you can send ",
        "  commands to your Digitech PMC 10 MIDI Footcontroller. ",
        "",
        "  How to build the cable: see the archives of the PMC 10 user group.",
        "  Or call this program with cable as the first argument.",
        "",
        "  You can either send hex bytes, e.g. 0xfb or PMC 10 commands, e.g. menu.",
        "  Available commands: Call this program with commands as the",
        "  first argument. You can also mix them and send entire command sequences.",
        "  \"r\" as the first argument will have the PMC 10 return to performance mode.",
        "",
        "  Built by the pmc10 project. On Windows it uses the WinIo port-access library",
        "  (where to get it: see the section \"Windows\" of the pmc10 README)",
        "  to allow access to the parallel port on Win2K.",
        "  Questions and comments: see the pmc10 README, which says where to send them.",
        "  Home page: the pmc10 README, shipped with the program and its sources.",
        "",
        "  Thanks to the PMC 10 user group, whose archives keep this controller alive.",
        "  Thanks to the PMC 10 owners who worked out and documented its key codes.",
        "",
        "  ",
    });
}

std::vector<PortForm> portForms() {
    std::vector<PortForm> forms;
    for (const port::Backend* backend : port::backends()) {
        std::istringstream lines(backend->forms != nullptr ? backend->forms : "");
        for (std::string line; std::getline(lines, line);) {
            const std::size_t tab = line.find('\t');
            forms.push_back({line.substr(0, tab),
                             tab == std::string::npos ? std::string() : line.substr(tab + 1)});
        }
    }
    return forms;
}

void printHelp() {
    std::cout << "Options, before the first command word (-- ends them):\n";
    for (const OptionEntry& option : optionTable()) {
        std::string term = option.shortName != 0 ? std::string{'-', option.shortName, ','} : "   ";
        term += std::string(" ") + option.longName;
        if (option.argument != nullptr) {
            term += std::string(" ") + option.argument;
        }
        printRow(term, option.help);
    }
    std::cout << "\nVerbs, as the first word:\n";
    for (const Verb& verb : verbTable()) {
        std::string term = verb.name;
        for (char& c : term) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (verb.takesNumber()) {
            term += " " + std::to_string(verb.min) + "-" + std::to_string(verb.max);
        }
        printRow(term, verb.help);
    }
    std::cout << "\nPORT, for --port and PMC10_PORT:\n";
    for (const PortForm& form : portForms()) {
        printRow(form.text, form.help);
    }
    std::cout << "\nThe manual: " << kManual << ".\n" << std::flush;
}
