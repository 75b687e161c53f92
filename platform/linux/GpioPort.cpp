// Four GPIO lines as the port: the "gpio:" PORT texts, the port, opening and listing. The
// chips and their lines are reached through platform/linux/GpioChips.cpp, without
// libgpiod.
//
// The four lines are requested once, at idle, and held for the whole run; all four are
// set by one ioctl per byte. Closing the request leaves them as they were last set: idle.
#include "platform/linux/GpioPort.h"

#include <linux/gpio.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

#include "platform/Message.h"
#include "platform/linux/GpioChips.h"
#include "port/Port.h"

namespace port::gpio {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

/// Whether the chip labelled `label` sets its lines one at a time, so that a byte that
/// changes several lines passes through other codes on the way. Its drivers say nothing
/// of it through the uAPI: these are the chips known to do it.
bool setsOneLineAtATime(const std::string& label) {
    return label == "mcp2221_gpio";  // hid-mcp2221: one USB command per line
}

/// What to say of such a chip, in the listing and on a run's first line.
std::string oneAtATimeNote(const std::string& label) {
    std::string note = "sets one line at a time, so other codes show while a code changes";
    if (label == "mcp2221_gpio") {
        note += "; --port mcp2221 changes all four at once";
    }
    return note;
}

class GpioPort final : public Port {
  public:
    GpioPort(int requestFd, std::string description)
        : requestFd_(requestFd), description_(std::move(description)) {}
    ~GpioPort() override { close(); }

    bool write(std::uint8_t byte) override {
        if (requestFd_ < 0) {
            return false;
        }
        // Only the lines that change are set: a driver that sets lines one at a time
        // (hid-mcp2221 sends one USB command per line) then does no more than it must.
        const std::uint64_t bits = byte & 0xF;
        const std::uint64_t changed = bits ^ lines_;
        if (changed == 0) {
            return true;
        }
        gpio_v2_line_values values{};
        values.bits = bits;
        values.mask = changed;
        lines_ = bits;  // before the call, so that a write from a signal handler sees it
        if (ioctl(requestFd_, GPIO_V2_LINE_SET_VALUES_IOCTL, &values) != 0) {
            const int error = errno;
            failure_ = description_ + " failed: " + std::strerror(error);
            if (error == ENODEV) {
                failure_ += " (the chip is gone: was the adapter unplugged?)";
            }
            ::close(requestFd_);
            requestFd_ = -1;
            return false;
        }
        return true;
    }

    void close() override {
        if (requestFd_ >= 0) {
            ::close(requestFd_);
        }
        requestFd_ = -1;
    }

    std::string describe() const override { return description_; }
    std::string failure() const override { return failure_; }

    bool emergencyIdle() noexcept override {
        gpio_v2_line_values values{};
        values.bits = 0xF;
        values.mask = 0xF;
        return requestFd_ >= 0 && ioctl(requestFd_, GPIO_V2_LINE_SET_VALUES_IOCTL, &values) == 0;
    }

  private:
    int requestFd_;
    std::uint64_t lines_ = 0xF;  // requested idle
    std::string description_;
    std::string failure_;
};

OpenResult openText(const std::string& portText) {
    Text text;
    std::string error;
    if (!parse(portText, text, error)) {
        return OpenResult::badText(error);
    }
    Lines lines;
    const std::string reason = resolve(text, lines);
    if (!reason.empty()) {
        return OpenResult::unusable(reason);
    }

    const std::string chipName = baseName(lines.chipPath);
    std::string description = "GPIO " + chipName + " lines ";
    for (unsigned i = 0; i < kLineCount; ++i) {
        description += (i ? "," : "") + std::to_string(lines.offsets[i]);
    }
    if (text.activeLow) {
        description += " active-low";
    }
    if (text.openDrain) {
        description += " open-drain";
    }

    std::string why;
    const int requestFd = requestLines(lines, text, description, why);
    if (requestFd < 0) {
        return OpenResult::unusable(why);
    }
    if (setsOneLineAtATime(lines.label)) {
        std::cerr << message("note: GPIO " + chipName + " '" + lines.label + "' " +
                             oneAtATimeNote(lines.label))
                  << std::endl;
    }
    return OpenResult::opened(std::make_unique<GpioPort>(requestFd, description));
}

bool claimsText(const std::string& text) {
    return text.rfind("gpio:", 0) == 0;
}

std::string checkText(const std::string& portText) {
    Text text;
    std::string error;
    return parse(portText, text, error) ? std::string() : error;
}

bool isRaspberryPi() {
    std::ifstream model("/proc/device-tree/model");
    std::string text;
    std::getline(model, text, '\0');
    return text.find("Raspberry Pi") != std::string::npos;
}

void listChips(std::vector<PortInfo>& out) {
    const bool pi = isRaspberryPi();
    for (const auto& path : chipPaths()) {
        const std::string name = baseName(path);
        PortInfo entry;
        entry.name = "gpio:" + name + ":0,1,2,3";
        entry.kind = "GPIO chip";
        Fd fd(openChip(path));
        gpiochip_info info{};
        if (fd.fd < 0 || ioctl(fd.fd, GPIO_GET_CHIPINFO_IOCTL, &info) != 0) {
            entry.detail = name;
            entry.note = cannotOpen(path, errno);
            out.push_back(std::move(entry));
            continue;
        }
        const std::string label = info.label;
        entry.detail = "label '" + label + "', " + std::to_string(info.lines) + " lines";
        entry.usable = info.lines >= kLineCount;
        const bool piHeader = label == "pinctrl-bcm2835" || label == "pinctrl-bcm2711" ||
                              label == "pinctrl-rp1" ||
                              (pi && findLine(fd.fd, info.lines, "GPIO17") >= 0);
        if (!entry.usable) {
            entry.note = "has fewer than four lines";
        } else if (piHeader) {
            entry.name = "gpio:GPIO17,GPIO27,GPIO22,GPIO23";
            entry.note =
                "Raspberry Pi header: D0 GPIO17 = pin 11, D1 GPIO27 = pin 13, "
                "D2 GPIO22 = pin 15, D3 GPIO23 = pin 16, GND = pin 9 or 14; 3.3 V "
                "pins, see the wiring notes before connecting";
        } else if (label == "mcp2221_gpio") {
            entry.note = "MCP2221A: D0-D3 = GP0-GP3; " + oneAtATimeNote(label);
        } else if (setsOneLineAtATime(label)) {
            entry.note = oneAtATimeNote(label);
        }
        out.push_back(std::move(entry));
    }
}

}  // namespace

bool parse(const std::string& portText, Text& out, std::string& error) {
    out = Text{};
    if (!claimsText(portText)) {
        error = "a GPIO port starts with 'gpio:'";
        return false;
    }
    const std::vector<std::string> parts = split(portText.substr(5), ';');
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "active-low") {
            out.activeLow = true;
        } else if (parts[i] == "open-drain") {
            out.openDrain = true;
        } else {
            error = "unknown option '" + parts[i] + "' (the options are active-low, open-drain)";
            return false;
        }
    }
    const std::string& body = parts[0];
    const auto colon = body.rfind(':');
    if (colon != std::string::npos) {
        out.chip = body.substr(0, colon);
        if (out.chip.empty()) {
            error = "no chip before ':' (as in gpio:gpiochip0:0,1,2,3)";
            return false;
        }
    }
    out.lines = split(colon == std::string::npos ? body : body.substr(colon + 1), ',');
    if (out.lines.size() != kLineCount) {
        error = "four lines are needed, D0 to D3, as in gpio:gpiochip0:0,1,2,3 (found " +
                std::to_string(out.lines.size()) + ")";
        return false;
    }
    for (std::size_t i = 0; i < out.lines.size(); ++i) {
        const std::string& line = out.lines[i];
        if (line.empty()) {
            error = "an empty line in '" + joined(out.lines) + "'";
            return false;
        }
        if (isOffset(line) && out.chip.empty()) {
            error = "line offsets need a chip, as in gpio:gpiochip0:" + joined(out.lines);
            return false;
        }
        if (isOffset(line) ? line.size() > 9 : line.size() >= GPIO_MAX_NAME_SIZE) {
            error = "no such line '" + line + "'";
            return false;
        }
        for (std::size_t j = 0; j < i; ++j) {
            const std::string& other = out.lines[j];
            if (isOffset(line) && isOffset(other) ? std::stoul(line) == std::stoul(other)
                                                  : line == other) {
                error = "line " + line + " is given twice";
                return false;
            }
        }
    }
    return true;
}

}  // namespace port::gpio

namespace port {
const char* const kForms =
    "gpio:CHIP:L0,L1,L2,L3\tlines D0-D3 of a chip (;active-low ;open-drain)\n"
    "gpio:NAME0,NAME1,NAME2,NAME3\tfour GPIO lines by name, such as GPIO17";
extern const Backend gpioBackend{"gpio",          gpio::claimsText, gpio::openText,
                                 gpio::listChips, gpio::checkText,  kForms};
}  // namespace port
