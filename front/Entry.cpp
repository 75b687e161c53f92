#include "front/Entry.h"

#include <iostream>
#include <string>
#include <vector>

#include "commands/Listing.h"
#include "front/HelpScreens.h"
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"

#ifndef PMC10_VERSION
#define PMC10_VERSION "unknown"
#endif

namespace {

/// A first word that runs a fixed task instead of a command sequence.
struct Verb {
    const char* name;
    /// Echo the verb and its number on standard output before anything else happens.
    bool echoesNumber;
    /// For verbs that take a number: whether the number is one the verb strokes keys for
    /// (the others are refused by the task itself, with no need for a port).
    bool (*strokesKeysFor)(int number);
    void (*run)(int number);
};

const Verb kVerbs[] = {
    {"CABLE", false, nullptr, [](int) { printCableHelp(); }},
    {"COMMANDS", false, nullptr, [](int) { printAvailableCommands(); }},
    {"PMCCHANNEL", true, &Red10::isValidChannel,
     [](int channel) { instance().setRed10Channel(channel); }},
    {"CALIBRATEPEDAL", false, &Red10::isValidPedal,
     [](int pedal) { Red10::calibratePedal(pedal); }},
    {"STARTCALIBRATEPEDAL", false, &Red10::isValidPedal,
     [](int pedal) { instance().startCalibratePedal(pedal); }},
};

/// True, after saying so on standard error, when keys cannot reach the foot controller.
/// Every path that strokes keys asks this once before the first stroke.
bool portUnavailable() {
    Red10& controller = instance();
    if (controller.isPortReady()) {
        return false;
    }
    std::cerr << "Error during initialization of WinIo." << std::endl;
    const std::string reason = controller.portFailureReason();
    if (!reason.empty()) {
        std::cerr << reason << std::endl;
    }
    return true;
}

int runVerb(const Verb& verb, const std::vector<std::string>& words) {
    // A missing number reads as no number, 0, which every numeric verb refuses.
    const int number = words.size() > 1 ? parseDecimalInt(words[1]) : 0;
    if (verb.echoesNumber) {
        std::cout << verb.name << ' ' << number << std::endl;
    }
    if (verb.strokesKeysFor != nullptr && verb.strokesKeysFor(number) && portUnavailable()) {
        return ExitFailure;
    }
    verb.run(number);
    return ExitSuccess;
}

int runSequence(std::vector<std::string> words, const std::string& firstUpper) {
    if (portUnavailable()) {
        return ExitFailure;
    }
    const bool record = firstUpper == "R" || firstUpper == "RD";
    const bool show = firstUpper == "RD";
    if (record) {
        words.erase(words.begin());
    }
    Red10& controller = instance();
    for (const std::string& word : words) {
        controller.sendCommand(word, record);
    }
    if (show) {
        controller.printReturnPath();
    }
    if (record) {
        controller.returnToPerformance();
    }
    return ExitSuccess;
}

}  // namespace

int runEntry(const CommandLine& commandLine) {
    const std::vector<std::string> words = commandLine.arguments();
    if (words.empty()) {
        printUsage(commandLine);
        return ExitUsage;
    }
    if (words[0] == "--help" || words[0] == "-h") {
        printUsage(commandLine);
        return ExitSuccess;
    }
    if (words[0] == "--version") {
        std::cout << "pmc10 " << PMC10_VERSION << std::endl;
        return ExitSuccess;
    }
    std::string firstUpper = words[0];
    toUpperInPlace(firstUpper);
    for (const Verb& verb : kVerbs) {
        if (firstUpper == verb.name) {
            return runVerb(verb, words);
        }
    }
    return runSequence(words, firstUpper);
}
