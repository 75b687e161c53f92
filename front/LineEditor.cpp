#include "front/LineEditor.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <set>
#include <vector>

#include "commands/CompoundCommands.h"
#include "commands/Verbs.h"
#include "keypad/KeyCodes.h"
#include "keypad/Red10.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/Signals.h"
#endif

#ifdef PMC10_HAVE_LIBEDIT
#include <histedit.h>
#endif

namespace {

const char* const kPrompt = "pmc10> ";

#ifndef _WIN32
/// The character that stands for a Ctrl-C: the terminal turns the key into SIGINT, which
/// the run collects as an event, so the byte itself never arrives from the keyboard.
constexpr wchar_t kInterrupt = 3;

/// One character from standard input, or kInterrupt when SIGINT arrives first; other
/// signals are handled as everywhere else (the port is released before the process
/// ends). 1 for a character, 0 at end of input, -1 on an error.
int readCharacter(wchar_t& out) {
    auto readByte = [](unsigned char& byte) {
        for (;;) {
            const signals::Event event = signals::waitForDescriptor(0, false);
            if (event) {
                if (event.number == SIGINT) {
                    return 2;
                }
                signals::dispatch(event);
                continue;
            }
            const ssize_t n = ::read(0, &byte, 1);
            if (n >= 0) {
                return static_cast<int>(n);
            }
            if (errno != EINTR && errno != EAGAIN) {
                return -1;
            }
        }
    };
    unsigned char byte = 0;
    const int got = readByte(byte);
    if (got == 2) {
        out = kInterrupt;
        return 1;
    }
    if (got != 1) {
        return got;
    }
    // UTF-8: the bytes that follow a lead byte complete the character.
    int more = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    wchar_t value = more == 0 ? byte : byte & (0x3F >> more);
    for (; more > 0; --more) {
        unsigned char next = 0;
        if (readByte(next) != 1) {
            break;
        }
        value = static_cast<wchar_t>((value << 6) | (next & 0x3F));
    }
    out = value;
    return 1;
}

#ifdef PMC10_HAVE_LIBEDIT
void makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
}
#endif
#endif

/// Every word Tab completes: key names, compound words and verbs, in lower case.
std::set<std::string> completionWords() {
    instance();  // fills the tables
    std::set<std::string> words{"r", "rd"};
    auto add = [&words](std::string name) {
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        words.insert(name);
    };
    for (const auto& entry : keyCodes) {
        add(entry.first);
    }
    for (const auto& entry : compoundCommands) {
        add(entry.first);
    }
    for (const Verb& verb : verbTable()) {
        add(verb.name);
    }
    return words;
}

}  // namespace

struct LineEditor::State {
    std::set<std::string> words = completionWords();
    bool interrupted = false;
#ifdef PMC10_HAVE_LIBEDIT
    EditLine* editLine = nullptr;
    History* history = nullptr;
    std::string historyFile;
#endif
};

#ifdef PMC10_HAVE_LIBEDIT
namespace {

LineEditor::State* stateOf(EditLine* editLine) {
    void* data = nullptr;
    el_get(editLine, EL_CLIENTDATA, &data);
    return static_cast<LineEditor::State*>(data);
}

char* prompt(EditLine* /*editLine*/) {
    return const_cast<char*>(kPrompt);
}

int getCharacter(EditLine* /*editLine*/, wchar_t* out) {
    return readCharacter(*out);
}

/// Ctrl-C at the prompt: the line is dropped and a new prompt shown.
unsigned char interrupt(EditLine* editLine, int /*ch*/) {
    stateOf(editLine)->interrupted = true;
    return CC_NEWLINE;
}

/// Completes the word before the cursor: in full when one word fits, else as far as all
/// that fit agree, listing them when that adds nothing.
unsigned char complete(EditLine* editLine, int /*ch*/) {
    const LineInfo* const line = el_line(editLine);
    const char* start = line->cursor;
    while (start > line->buffer && start[-1] != ' ' && start[-1] != '\t') {
        --start;
    }
    std::string prefix(start, line->cursor);
    for (char& c : prefix) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::vector<std::string> fits;
    for (const std::string& word : stateOf(editLine)->words) {
        if (word.compare(0, prefix.size(), prefix) == 0) {
            fits.push_back(word);
        }
    }
    if (fits.empty()) {
        return CC_REFRESH_BEEP;
    }
    if (fits.size() == 1) {
        el_insertstr(editLine, (fits[0].substr(prefix.size()) + " ").c_str());
        return CC_REFRESH;
    }
    std::size_t common = prefix.size();
    while (common < fits[0].size() &&
           std::all_of(fits.begin(), fits.end(), [&](const std::string& word) {
               return common < word.size() && word[common] == fits[0][common];
           })) {
        ++common;
    }
    if (common > prefix.size()) {
        el_insertstr(editLine, fits[0].substr(prefix.size(), common - prefix.size()).c_str());
        return CC_REFRESH;
    }
    std::cout << '\n';
    for (const std::string& word : fits) {
        std::cout << word << "  ";
    }
    std::cout << std::endl;
    return CC_REDISPLAY;
}

}  // namespace
#endif

std::string LineEditor::historyPath() {
    const char* const state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && *state == '/') {
        return std::string(state) + "/pmc10/history";
    }
    const char* const home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return std::string(home) + "/.local/state/pmc10/history";
    }
    return {};
}

LineEditor::LineEditor() : state_(std::make_unique<State>()) {
#ifdef PMC10_HAVE_LIBEDIT
    State& s = *state_;
    s.editLine = el_init("pmc10", stdin, stdout, stderr);
    if (s.editLine == nullptr) {
        return;
    }
    el_set(s.editLine, EL_CLIENTDATA, &s);
    el_set(s.editLine, EL_EDITOR, "emacs");
    el_set(s.editLine, EL_PROMPT, &prompt);
    el_set(s.editLine, EL_GETCFN, &getCharacter);
    el_set(s.editLine, EL_ADDFN, "pmc10-complete", "complete a command word", &complete);
    el_set(s.editLine, EL_ADDFN, "pmc10-interrupt", "drop the line", &interrupt);
    el_set(s.editLine, EL_BIND, "^I", "pmc10-complete", nullptr);
    el_set(s.editLine, EL_BIND, "^C", "pmc10-interrupt", nullptr);
    s.history = history_init();
    HistEvent event;
    history(s.history, &event, H_SETSIZE, 1000);
    history(s.history, &event, H_SETUNIQUE, 1);
    s.historyFile = historyPath();
    if (!s.historyFile.empty()) {
        history(s.history, &event, H_LOAD, s.historyFile.c_str());
    }
    el_set(s.editLine, EL_HIST, history, s.history);
#endif
}

LineEditor::~LineEditor() {
#ifdef PMC10_HAVE_LIBEDIT
    if (state_->editLine != nullptr) {
        el_end(state_->editLine);
    }
    if (state_->history != nullptr) {
        history_end(state_->history);
    }
#endif
}

LineEditor::Result LineEditor::read(std::string& line) {
    line.clear();
#if defined(PMC10_HAVE_LIBEDIT)
    if (state_->editLine != nullptr) {
        state_->interrupted = false;
        int count = 0;
        const char* const text = el_gets(state_->editLine, &count);
        if (state_->interrupted) {
            return Result::Interrupted;
        }
        if (text == nullptr || count <= 0) {
            return Result::End;
        }
        line.assign(text, static_cast<std::size_t>(count));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        return Result::Line;
    }
#endif
    std::cout << kPrompt << std::flush;
#ifdef _WIN32
    // The console's own line editing and history.
    return std::getline(std::cin, line) ? Result::Line : Result::End;
#else
    for (;;) {
        wchar_t c = 0;
        if (readCharacter(c) != 1) {
            return line.empty() ? Result::End : Result::Line;
        }
        if (c == kInterrupt) {
            std::cout << std::endl;
            return Result::Interrupted;
        }
        if (c == '\n') {
            return Result::Line;
        }
        if (c < 0x80) {
            line += static_cast<char>(c);
        }
    }
#endif
}

void LineEditor::remember(const std::string& line) {
#ifdef PMC10_HAVE_LIBEDIT
    State& s = *state_;
    if (s.history == nullptr || line.find_first_not_of(" \t") == std::string::npos) {
        return;
    }
    HistEvent event;
    history(s.history, &event, H_ENTER, line.c_str());
    if (!s.historyFile.empty()) {
        makeDirectories(s.historyFile);
        history(s.history, &event, H_SAVE, s.historyFile.c_str());
    }
#else
    (void)line;
#endif
}
