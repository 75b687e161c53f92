#include "front/Entry.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "commands/Checks.h"
#include "commands/Verbs.h"
#include "front/HelpScreens.h"
#include "front/Options.h"
#include "front/PortList.h"
#include "front/Session.h"
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"
#include "platform/Message.h"
#include "platform/Signals.h"
#include "port/Registry.h"

#ifndef PMC10_VERSION
#define PMC10_VERSION "unknown"
#endif

namespace {

void (*wordHook)(const std::string& word) = nullptr;

/// The port this run uses: --port, else PMC10_PORT, else the executable's default.
void choosePort(const Options& options) {
    const char* const fromEnvironment = std::getenv("PMC10_PORT");
    port::choose(!options.port.empty()                                 ? options.port
                 : fromEnvironment != nullptr && *fromEnvironment != 0 ? fromEnvironment
                                                                       : "");
}

/// A PORT text that names no port this tool can use is bad input: said before anything
/// else happens, and nothing is written anywhere.
bool portTextUnusable() {
    const std::string problem = portTextProblem();
    if (problem.empty()) {
        return false;
    }
    std::cerr << message(problem) << std::endl;
    return true;
}

/// True, after saying so on standard error, when keys cannot reach the foot controller.
/// Every path that strokes keys asks this once before the first stroke.
bool portUnavailable() {
    Red10& controller = instance();
    if (controller.isPortReady()) {
        return false;
    }
    // The WinIo line, where WinIo is the port (Windows direct I/O): it names no other.
    const port::Backend* const backend = port::backendFor(port::plainRunPort());
    if (!controller.portLink().badPortText() && backend != nullptr &&
        std::string(backend->name) == "winio") {
        std::cerr << "Error during initialization of WinIo." << std::endl;
    }
    const std::string reason = controller.portFailureReason();
    if (!reason.empty()) {
        std::cerr << message(reason) << std::endl;
    }
    return true;
}

int statusOfPortFailure() {
    return instance().portLink().badPortText() ? ExitUsage : ExitFailure;
}

int runVerb(const Verb& verb, const std::vector<std::string>& words) {
    // A missing number reads as no number, 0, which every numeric verb refuses.
    const int number = words.size() > 1 ? parseDecimalInt(words[1]) : 0;
    if (verb.echoesNumber) {
        std::cout << verb.name << ' ' << number << std::endl;
    }
    if (verb.strokesKeysFor(number) && portUnavailable()) {
        return statusOfPortFailure();
    }
    verb.run(number);
    return ExitSuccess;
}

int runSequence(std::vector<std::string> words, const std::string& firstUpper) {
    if (portUnavailable()) {
        return statusOfPortFailure();
    }
    const bool record = firstUpper == "R" || firstUpper == "RD";
    const bool show = firstUpper == "RD";
    if (record) {
        words.erase(words.begin());
    }
    Red10& controller = instance();
    for (const std::string& word : words) {
        if (wordHook != nullptr) {
            wordHook(word);
        }
        controller.sendCommand(word, record);
    }
    if (show && !controller.portLink().lineAbandoned()) {
        controller.printReturnPath();
    }
    if (record) {
        if (wordHook != nullptr) {
            wordHook("");
        }
        controller.returnToPerformance();
    }
    return ExitSuccess;
}

int runWords(const std::vector<std::string>& words) {
    if (const Verb* const verb = findVerb(words[0])) {
        return runVerb(*verb, words);
    }
    std::string firstUpper = words[0];
    toUpperInPlace(firstUpper);
    return runSequence(words, firstUpper);
}

/// The end of every run: a port that failed on the way fails the run; the port is left
/// idle and released; a signal that arrived after the last wait still ends the process
/// as that signal.
int finishRun(int status) {
    if (Red10* const controller = existingInstance()) {
        ParallelPort& link = controller->portLink();
        if (link.failed() && status == ExitSuccess) {
            status = ExitFailure;
        }
        link.release();
    }
    while (const signals::Event event = signals::poll()) {
        signals::dispatch(event);
    }
    return status;
}

}  // namespace

std::string portTextProblem() {
    const std::string problem = port::check(port::chosen());
    return problem.empty() ? problem : "cannot use port '" + port::plainRunPort() + "': " + problem;
}

int runCommandWords(const std::vector<std::string>& words) {
    return runWords(words);
}

void setWordHook(void (*hook)(const std::string& word)) {
    wordHook = hook;
}

int runEntry(const CommandLine& commandLine) {
    const Options options = parseOptions(commandLine.arguments());
    if (!options.error.empty()) {
        std::cerr << message(options.error) << std::endl;
        return ExitUsage;
    }
    if (options.help) {
        printUsage(commandLine);
        printHelp();
        return ExitSuccess;
    }
    if (options.version) {
        std::cout << "pmc10 " << PMC10_VERSION << std::endl;
        return ExitSuccess;
    }
    choosePort(options);
    if (options.listPorts) {
        return printPortList();
    }
    if (wantsSession(options)) {
        // Files, dry runs and the prompt: checked in full before anything runs.
        const int status = finishRun(runSession(options));
        endSession(options);
        return status;
    }
    if (options.words.empty()) {
        printUsage(commandLine);
        return ExitUsage;
    }
    if (options.strict && strict::report(options.words) > 0) {
        return ExitUsage;
    }
    if (portTextUnusable()) {
        return ExitUsage;
    }
    return finishRun(runWords(options.words));
}
