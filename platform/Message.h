// The tool's messages: every line the tool writes about itself (an error, a warning, a
// note, a hint) starts with the program's name, so that it stands apart from the screens
// and from other programs' output. The code that finds a problem says only the reason;
// the code that prints it makes the message here.
#pragma once

#include <string>

/// What starts every line of a message. A plain array, for code that may not allocate.
constexpr char kMessagePrefix[] = "pmc10: ";

/// `reason` as a message, without a line end: the prefix before it and before each
/// further line of it.
inline std::string message(const std::string& reason) {
    std::string text = kMessagePrefix;
    for (const char c : reason) {
        text += c;
        if (c == '\n') {
            text += kMessagePrefix;
        }
    }
    return text;
}
