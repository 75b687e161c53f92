#include "front/LineEditor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <vector>

#include "commands/CompoundCommands.h"
#include "commands/Verbs.h"
#include "front/Entry.h"
#include "keypad/KeyCodes.h"
#include "keypad/Red10.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Console.h"
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

/// How reading the current line went: its length so far, and what ended it early.
struct LineInput {
    std::size_t length = 0;
    bool tooLong = false;
    int error = 0;
};

/// One character from standard input, or kInterrupt when SIGINT arrives first; other
/// signals are handled as everywhere else (the port is released before the process
/// ends). 1 for a character, 0 at end of input, -1 when the read failed or the line grew
/// longer than LineEditor::kMaxLine (said in `input`).
int readCharacter(LineInput& input, wchar_t& out) {
    auto readByte = [&input](unsigned char& byte) {
        char c = 0;
        const long got = console::readInput(0, &c, 1, true);
        byte = static_cast<unsigned char>(c);
        if (got == -1) {
            input.error = errno;
        }
        return static_cast<int>(got);
    };
    unsigned char byte = 0;
    const int got = readByte(byte);
    if (got == console::kInterrupted) {
        out = kInterrupt;
        input.length = 0;
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
    input.length = value == '\n' ? 0 : input.length + 1;
    if (input.length > LineEditor::kMaxLine) {
        input.tooLong = true;
        return -1;
    }
    return 1;
}

#ifdef PMC10_HAVE_LIBEDIT
void makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
}

/// Opens the history file with `flags`, never through a symbolic link, and only when it
/// and its folder belong to the user running and it is a plain file with no other name:
/// a home folder that someone else prepared (a root run under `sudo -E`) can point it at
/// nothing else. -1 when there is to be no history.
int openHistory(const std::string& path, int flags) {
    const std::size_t slash = path.rfind('/');
    const int folder =
        ::open(path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        return -1;
    }
    struct stat info {};
    int fd = -1;
    if (fstat(folder, &info) == 0 && info.st_uid == geteuid()) {
        fd = openat(folder, path.c_str() + slash + 1,
                    flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    }
    ::close(folder);
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
                    info.st_nlink != 1)) {
        ::close(fd);
        fd = -1;
    }
    return fd;
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
#ifndef _WIN32
    LineInput input;
#endif
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

int getCharacter(EditLine* editLine, wchar_t* out) {
    return readCharacter(stateOf(editLine)->input, *out);
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
    const int saved = s.historyFile.empty() ? -1 : openHistory(s.historyFile, O_RDONLY);
    if (saved >= 0) {
        // Loaded through the descriptor checked, not through the name again.
        history(s.history, &event, H_LOAD, ("/proc/self/fd/" + std::to_string(saved)).c_str());
        ::close(saved);
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
#ifndef _WIN32
    state_->input = LineInput{};
#endif
#if defined(PMC10_HAVE_LIBEDIT)
    if (state_->editLine != nullptr) {
        state_->interrupted = false;
        int count = 0;
        const char* const text = el_gets(state_->editLine, &count);
        if (state_->interrupted) {
            std::cout << std::endl;  // the next prompt starts on a line of its own
            return Result::Interrupted;
        }
        if (state_->input.tooLong || state_->input.error != 0) {
            return Result::Failed;
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
        const int got = readCharacter(state_->input, c);
        if (got < 0) {
            return Result::Failed;
        }
        if (got == 0) {
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

std::string LineEditor::failure() const {
#ifndef _WIN32
    if (state_->input.error != 0) {
        return std::string("cannot read standard input: ") + std::strerror(state_->input.error);
    }
#endif
    return "<stdin>: line longer than 64 KiB";
}

int LineEditor::failureStatus() const {
#ifndef _WIN32
    if (state_->input.error != 0) {
        return ExitFailure;
    }
#endif
    return ExitUsage;
}

void LineEditor::remember(const std::string& line) {
#ifdef PMC10_HAVE_LIBEDIT
    State& s = *state_;
    if (s.history == nullptr || line.find_first_not_of(" \t") == std::string::npos) {
        return;
    }
    HistEvent event;
    history(s.history, &event, H_ENTER, line.c_str());
    if (s.historyFile.empty()) {
        return;
    }
    makeDirectories(s.historyFile);
    const int fd = openHistory(s.historyFile, O_WRONLY | O_CREAT);
    FILE* const file = fd < 0 || ftruncate(fd, 0) != 0 ? nullptr : fdopen(fd, "w");
    if (file == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    history(s.history, &event, H_SAVE_FP, file);
    std::fclose(file);
#else
    (void)line;
#endif
}
