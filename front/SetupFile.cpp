#include "front/SetupFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "front/LineEditor.h"
#include "platform/Console.h"
#include "platform/Signals.h"

namespace setup_file {
namespace {

/// Files larger than this are refused: a set-up file is a few lines, and reading stops
/// here whatever arrives (a device, a pipe that never ends).
constexpr std::size_t kMaxFile = std::size_t{16} * 1024 * 1024;

/// Reads all of `fd`, checking as it goes so that it stops at the first NUL byte, the
/// first line over LineEditor::kMaxLine and kMaxFile in all; empty when the text is good,
/// else the reason. Signals end the wait for more.
std::string readChecked(int fd, Script& script) {
    static char chunk[65536];
    std::size_t lineStart = 0;
    int lineNumber = 1;
    for (;;) {
        const long got = console::readInput(fd, chunk, sizeof chunk);
        if (got == 0) {
            return {};
        }
        if (got < 0) {
            return "cannot read " + script.name + ": " +
                   (got == console::kInterrupted ? "interrupted" : std::strerror(errno));
        }
        const std::size_t from = script.text.size();
        script.text.append(chunk, static_cast<std::size_t>(got));
        for (std::size_t at = from; at < script.text.size(); ++at) {
            const char c = script.text[at];
            if (c == '\n') {
                lineStart = at + 1;
                ++lineNumber;
            } else if (c == '\0' || at - lineStart >= LineEditor::kMaxLine) {
                return script.name + ":" + std::to_string(lineNumber) + ": " +
                       (c == '\0' ? "NUL byte in line" : "line longer than 64 KiB");
            }
        }
        if (script.text.size() > kMaxFile) {
            return script.name + ": larger than 16 MiB, not a set-up file";
        }
    }
}

}  // namespace

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line.substr(0, line.find('#')));
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string load(const std::string& file, Script& script) {
    script.name = file == "-" ? "<stdin>" : file;
    std::string error;
    if (file == "-") {
        error = readChecked(0, script);
    } else {
        struct stat info {};
        if (stat(file.c_str(), &info) != 0) {
            return "cannot read " + file + ": " + std::strerror(errno);
        }
        if (S_ISDIR(info.st_mode)) {
            return "cannot read " + file + ": it is a directory";
        }
        if (const char* const device = console::refusedDevice(file.c_str())) {
            return "cannot read " + file + ": " + device;
        }
        const int fd = console::openInput(file.c_str());
        if (fd < 0) {
            return "cannot read " + file + ": " + std::strerror(errno);
        }
        error = readChecked(fd, script);
        console::closeInput(fd);
    }
    if (!error.empty()) {
        return error;
    }
    const std::string& text = script.text;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::size_t word = text.find_first_not_of(" \t\r\v\f", start);
        if (word < end && text[word] != '#') {
            std::string line = text.substr(start, end - start);
            if (line.back() == '\r') {
                line.pop_back();
            }
            script.lines.push_back({number, splitWords(line), start, next});
        }
        if (number % 65536 == 0) {
            // A huge file is read in a moment, but a signal need not wait even for that.
            while (const signals::Event event = signals::poll()) {
                signals::dispatch(event);
            }
        }
        start = next;
    }
    return {};
}

}  // namespace setup_file
