#include "front/LineEditor.h"

#include <cstdio>
#include <iostream>
#include <set>

#include "front/Completion.h"
#include "front/Entry.h"
#include "front/HistoryFile.h"

#ifndef _WIN32
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
    if (byte == 0 && input.length == 0 && isatty(0) == 1) {
        // An end of input (Ctrl-D) typed ahead while the previous line ran reaches the
        // editor as a NUL byte once it takes the terminal: at the start of a line it ends
        // the input, as it was meant to. Held in the line, it would make every later
        // Ctrl-D a deletion. (Only a terminal does this; NULs from elsewhere stay text.)
        return 0;
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
#endif

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

unsigned char complete(EditLine* editLine, int /*ch*/) {
    return completeWord(editLine, stateOf(editLine)->words);
}

}  // namespace
#endif

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
    history_file::load(s.history, s.historyFile);
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
    history_file::save(s.history, s.historyFile);
#else
    (void)line;
#endif
}
