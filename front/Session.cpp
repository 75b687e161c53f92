#include "front/Session.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
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
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"

namespace {

/// Longer lines are refused: no command line of this tool comes near it.
constexpr std::size_t kMaxLine = std::size_t{64} * 1024;

/// One line of a file: its words (comment and line end gone) and where the next begins.
struct FileLine {
    int number;
    std::vector<std::string> words;
    std::size_t nextStart;
};

struct Script {
    std::string name;
    std::string text;
    std::vector<FileLine> lines;
};

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line.substr(0, line.find('#')));
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

/// Files larger than this are refused: a set-up file is a few lines, and reading stops
/// here whatever arrives (a device, a pipe that never ends).
constexpr std::size_t kMaxFile = std::size_t{16} * 1024 * 1024;

/// Reads all of `in`, checking as it goes so that it stops at the first NUL byte, the
/// first line over kMaxLine and kMaxFile in all; empty when the text is good, else the
/// one error line.
std::string readChecked(std::streambuf& in, Script& script) {
    char chunk[65536];
    std::size_t lineStart = 0;
    int lineNumber = 1;
    for (std::streamsize got; (got = in.sgetn(chunk, sizeof chunk)) > 0;) {
        const std::size_t from = script.text.size();
        script.text.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t at = from; at < script.text.size(); ++at) {
            const std::string where =
                "pmc10: " + script.name + ":" + std::to_string(lineNumber) + ": ";
            if (script.text[at] == '\0') {
                return where + "NUL byte in line";
            }
            if (script.text[at] == '\n') {
                lineStart = at + 1;
                ++lineNumber;
            } else if (at - lineStart >= kMaxLine) {
                return where + "line longer than 64 KiB";
            }
        }
        if (script.text.size() > kMaxFile) {
            return "pmc10: " + script.name + ": larger than 16 MiB, not a set-up file";
        }
    }
    return {};
}

/// Reads and checks the whole file; empty when it may run, else the one error line.
std::string load(const std::string& file, Script& script) {
    script.name = file == "-" ? "<stdin>" : file;
    std::string error;
    if (file == "-") {
        error = readChecked(*std::cin.rdbuf(), script);
        std::cin.clear();
    } else {
        struct stat info {};
        if (stat(file.c_str(), &info) != 0) {
            return "pmc10: cannot read " + file + ": " + std::strerror(errno);
        }
        if (S_ISDIR(info.st_mode)) {
            return "pmc10: cannot read " + file + ": it is a directory";
        }
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return "pmc10: cannot read " + file + ": " + std::strerror(errno);
        }
        error = readChecked(*in.rdbuf(), script);
    }
    if (!error.empty()) {
        return error;
    }
    std::size_t start = 0;
    for (int number = 1; start < script.text.size(); ++number) {
        std::size_t end = script.text.find('\n', start);
        const std::size_t next = end == std::string::npos ? script.text.size() : end + 1;
        if (end == std::string::npos) {
            end = script.text.size();
        }
        std::string line = script.text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        script.lines.push_back({number, splitWords(line), next});
        start = next;
    }
    return {};
}

/// "FILE:LINE" of the line running from a file, or empty.
std::string location;

bool isUnknownWord(std::string word) {
    toUpperInPlace(word);
    return tokenToKeyCode(word) == 0 && lookupCompound(word).empty();
}

void onWord(const std::string& word) {
    dry_run::setSource(word);
    if (!location.empty() && !word.empty() && isUnknownWord(word)) {
        std::cerr << "pmc10: " << location << ":" << std::endl;
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
    if (isVerb(words[0], "RD") || (verb != nullptr && verb->endsWithWayBack)) {
        std::cout << std::endl;  // the way back was written without a line end
    }
    if (status != ExitSuccess) {
        return status;
    }
    if (Red10* const controller = existingInstance()) {
        if (controller->portLink().failed()) {
            return ExitFailure;
        }
    }
    return ExitSuccess;
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
        std::filebuf terminal;
        if (fromStdin) {
            std::cin.rdbuf(rest.rdbuf());
        } else if (terminal.open("/dev/tty", std::ios::in)) {
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
            while (i + 1 < script.lines.size() && script.lines[i].nextStart < end) {
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
        if (result == LineEditor::Result::Interrupted) {
            continue;
        }
        editor.remember(text);
        if (strictly && strict::report(splitWords(text)) > 0) {
            continue;  // the problems are said; the line is not run
        }
        link.startLine();
        const int status = runLine(splitWords(text));
        if (link.lineAbandoned()) {
            std::cerr << "pmc10: interrupted, the rest of the line is dropped" << std::endl;
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
        error = "pmc10: --interactive takes neither --file nor command words";
    } else if (!options.file.empty() && !options.words.empty()) {
        error = "pmc10: --file takes no command words after it";
    } else if (!options.interactive && options.file.empty() && options.words.empty()) {
        error = "pmc10: --dry-run needs command words or --file";
    }
    // The PORT text first, dry run or not: nothing of the file is read for a run that
    // cannot go ahead.
    if (error.empty()) {
        error = portTextProblem();
    }
    Script script;
    if (error.empty() && !options.file.empty()) {
        error = load(options.file, script);
    }
    if (!error.empty()) {
        std::cerr << error << std::endl;
        return ExitUsage;
    }
    if (options.strict && !options.interactive) {
        // Every line of the file is checked before the first one runs.
        int problems = strict::report(options.words);
        // With -f -, the lines that hold a calibration's answers are no commands.
        std::size_t start = 0, answersUntil = 0;
        for (const FileLine& line : script.lines) {
            const bool answer = start < answersUntil;
            start = line.nextStart;
            if (answer) {
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
