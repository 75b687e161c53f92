#include "front/Session.h"

#include <cctype>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "commands/Checks.h"
#include "commands/CompoundCommands.h"
#include "commands/Verbs.h"
#include "front/DryRun.h"
#include "front/Entry.h"
#include "front/LineEditor.h"
#include "front/SetupFile.h"
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"
#include "platform/Console.h"
#include "platform/Message.h"
#include "port/Registry.h"

namespace {

using setup_file::FileLine;
using setup_file::Script;
using setup_file::splitWords;

/// "FILE:LINE" of the line running from a file, or empty.
std::string location;

bool isUnknownWord(std::string word) {
    toUpperInPlace(word);
    return tokenToKeyCode(word) == 0 && lookupCompound(word).empty();
}

void onWord(const std::string& word) {
    dry_run::setSource(word);
    if (!location.empty() && !word.empty() && isUnknownWord(word)) {
        std::cerr << message(location + ":") << std::endl;
    }
}

bool isVerb(const std::string& word, const char* name) {
    std::string upper = word;
    toUpperInPlace(upper);
    return upper == name;
}

/// True for a line whose verb reads answers from standard input.
bool readsAnswers(const std::vector<std::string>& words) {
    const Verb* const verb = words.empty() ? nullptr : findVerb(words[0]);
    return verb != nullptr && verb->answers > 0;
}

/// Runs one line's words; a nonzero status ends the session.
int runLine(const std::vector<std::string>& words) {
    if (words.empty()) {
        return ExitSuccess;
    }
    dry_run::setSource(words[0]);
    const int status = runCommandWords(words);
    const Verb* const verb = findVerb(words[0]);
    Red10* const controller = existingInstance();
    const bool abandoned = controller != nullptr && controller->portLink().lineAbandoned();
    if ((isVerb(words[0], "RD") || (verb != nullptr && verb->endsWithWayBack)) && !abandoned) {
        std::cout << std::endl;  // the way back was written without a line end
    }
    if (status != ExitSuccess) {
        return status;
    }
    return controller != nullptr && controller->portLink().failed() ? ExitFailure : ExitSuccess;
}

/// Runs a file's lines in order. A calibration reads its answers from the terminal, or
/// with "-f -" from the lines that follow it on standard input (which are then skipped).
int runScript(const Script& script, bool fromStdin) {
    for (std::size_t i = 0; i < script.lines.size(); ++i) {
        const FileLine& line = script.lines[i];
        location = script.name + ":" + std::to_string(line.number);
        if (line.words.empty() || !readsAnswers(line.words)) {
            const int status = runLine(line.words);
            if (status != ExitSuccess) {
                return status;
            }
            continue;
        }
        std::streambuf* const saved = std::cin.rdbuf();
        std::istringstream rest(script.text.substr(line.nextStart));
        const int terminalFd = fromStdin ? -1 : console::openInput("/dev/tty");
        console::InputBuffer terminal(terminalFd, terminalFd >= 0);
        if (fromStdin) {
            std::cin.rdbuf(rest.rdbuf());
        } else if (terminalFd >= 0) {
            std::cin.rdbuf(&terminal);
        }
        std::cin.clear();
        const int status = runLine(line.words);
        std::cin.rdbuf(saved);
        std::cin.clear();
        if (status != ExitSuccess) {
            return status;
        }
        if (fromStdin) {
            rest.clear();
            const std::streamoff used = rest.tellg();
            const std::size_t end =
                used < 0 ? script.text.size() : line.nextStart + static_cast<std::size_t>(used);
            // Every line the answers reached, in full or in part, is used up.
            while (i + 1 < script.lines.size() && script.lines[i + 1].start < end) {
                ++i;
            }
        }
    }
    return ExitSuccess;
}

int runPrompt(bool dryRun, bool strictly) {
    LineEditor editor;
    ParallelPort& link = instance().portLink();
    link.setInterruptEndsLine(true);
    for (;;) {
        std::string text;
        const LineEditor::Result result = editor.read(text);
        if (result == LineEditor::Result::End) {
            std::cout << std::endl;
            return ExitSuccess;
        }
        if (result == LineEditor::Result::Failed) {
            std::cout << std::endl;
            std::cerr << message(editor.failure()) << std::endl;
            return editor.failureStatus();
        }
        if (result == LineEditor::Result::Interrupted) {
            continue;
        }
        editor.remember(text);
        if (strictly && strict::report(splitWords(text)) > 0) {
            continue;  // the problems are said; the line is not run
        }
        link.startLine();
        std::cin.clear();  // a calibration's answers may have ended at an interrupt
        const int status = runLine(splitWords(text));
        if (link.lineAbandoned()) {
            // Where a procedure was under way, what the interrupt says on the command line.
            const std::string& where = link.abandonedWhere();
            std::cerr << message(where.empty() ? "interrupted, the rest of the line is dropped"
                                               : where)
                      << std::endl;
        }
        if (status != ExitSuccess) {
            return status;
        }
        if (dryRun) {
            link.release();  // the listing of this line
        }
    }
}

}  // namespace

bool wantsSession(const Options& options) {
    return !options.file.empty() || options.dryRun || options.interactive;
}

int runSession(const Options& options) {
    std::string error;
    if (options.interactive && (!options.file.empty() || !options.words.empty())) {
        error = "--interactive takes neither --file nor command words";
    } else if (!options.file.empty() && !options.words.empty()) {
        error = "--file takes no command words after it";
    } else if (!options.interactive && options.file.empty() && options.words.empty()) {
        error = "--dry-run needs command words or --file";
    }
    // The PORT text first, dry run or not: nothing of the file is read for a run that
    // cannot go ahead.
    if (error.empty()) {
        error = portTextProblem();
    }
    Script script;
    if (error.empty() && !options.file.empty()) {
        error = setup_file::load(options.file, script);
    }
    if (!error.empty()) {
        std::cerr << message(error) << std::endl;
        return ExitUsage;
    }
    if (options.strict && !options.interactive) {
        // Every line of the file is checked before the first one runs.
        int problems = strict::report(options.words);
        // With -f -, the lines that hold a calibration's answers are no commands.
        std::size_t answersUntil = 0;
        for (const FileLine& line : script.lines) {
            if (line.start < answersUntil) {
                continue;
            }
            problems += strict::report(line.words, script.name + ":" + std::to_string(line.number));
            if (options.file == "-" && readsAnswers(line.words)) {
                answersUntil =
                    answersEnd(script.text, line.nextStart, findVerb(line.words[0])->answers);
            }
        }
        if (problems > 0) {
            return ExitUsage;
        }
    }
    if (options.dryRun) {
        dry_run::start();
    }
    setWordHook(&onWord);
    int status = ExitSuccess;
    if (options.interactive) {
        status = runPrompt(options.dryRun, options.strict);
    } else if (!options.file.empty()) {
        status = runScript(script, options.file == "-");
    } else {
        status = runLine(options.words);
    }
    setWordHook(nullptr);
    location.clear();
    return status;
}

void endSession(const Options& options) {
    if (options.dryRun) {
        dry_run::stop();
    }
}
