// The GPIO chips and their lines, through the kernel's GPIO character device (uAPI v2):
// the chips present, the four lines a PORT text names, and the request that holds them
// for the run.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "platform/linux/GpioPort.h"

namespace port::gpio {

constexpr unsigned kLineCount = 4;

/// Whether `token` is a line offset (digits) rather than a line name.
bool isOffset(const std::string& token);

/// The parts joined with commas again, for messages.
std::string joined(const std::vector<std::string>& parts);

/// A descriptor closed when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int value = -1) : fd(value) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

/// The gpiochip devices present, in number order: "/dev/gpiochip0", ...
std::vector<std::string> chipPaths();

std::string baseName(const std::string& path);

/// Opens `path` only when it is a GPIO chip (see device_node::openOf).
int openChip(const std::string& path);

/// The offset of the line named `name` on the chip, or -1.
long findLine(int chipFd, unsigned lineCount, const std::string& name);

/// "cannot open PATH: REASON", with the way to get access where it was refused.
std::string cannotOpen(const std::string& path, int error);

/// The four lines of one chip, found from a parsed text.
struct Lines {
    std::string chipPath;
    std::string label;
    unsigned offsets[kLineCount] = {};
};

/// Finds the chip and line offsets that `text` names; an empty string, or why not.
std::string resolve(const Text& text, Lines& lines);

/// Requests the four `lines` as outputs already at idle, with the options of `text`, and
/// waits while another pmc10 run holds them. The request's descriptor, or -1 with `why`
/// set; `description` names the lines in the reasons.
int requestLines(const Lines& lines, const Text& text, const std::string& description,
                 std::string& why);

}  // namespace port::gpio
