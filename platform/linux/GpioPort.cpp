// Four GPIO lines as the port, through the kernel's GPIO character device (uAPI v2).
//
// The ioctls of linux/gpio.h are used directly rather than libgpiod: libgpiod 1.6 (Debian
// 12) and 2.x (Debian 13) have incompatible APIs, so one source would need both, while the
// uAPI v2 ABI has been stable since Linux 5.10 and needs no library at all.
//
// The four lines are requested once, as outputs whose initial values are already idle
// (the request carries the output values), so opening presses no key; they are held for
// the whole run and all four are set by one ioctl per byte. Closing the request leaves
// them as they were last set: idle.
//
// A line held by another pmc10 run is waited for, as the parallel port is, so that two
// runs started together play one after the other instead of one failing; a line held by
// anything else is an error naming the holder, since that holder will not let go.
#include "platform/linux/GpioPort.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

#include "platform/Message.h"
#include "platform/Signals.h"
#include "platform/linux/DeviceNode.h"
#include "port/Port.h"

namespace port::gpio {
namespace {

constexpr const char* kConsumer = "pmc10";
constexpr unsigned kLineCount = 4;
constexpr const char* kAccessHint =
    " (on a Raspberry Pi add yourself to the group gpio; elsewhere install the udev rule "
    "60-pmc10-gpio.rules for the group plugdev; then log in again)";

bool isOffset(const std::string& token) {
    return !token.empty() &&
           std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; });
}

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

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : ",") + part;
    }
    return text;
}

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

/// The gpiochip devices present, in number order: "/dev/gpiochip0", ...
std::vector<std::string> chipPaths() {
    std::vector<std::pair<unsigned long, std::string>> found;
    if (DIR* dir = opendir("/dev")) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.rfind("gpiochip", 0) == 0 && isOffset(name.substr(8))) {
                found.emplace_back(std::stoul(name.substr(8)), "/dev/" + name);
            }
        }
        closedir(dir);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (auto& entry : found) {
        paths.push_back(std::move(entry.second));
    }
    return paths;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

/// Opens `path` only when it is a GPIO chip (see device_node::openOf).
int openChip(const std::string& path) {
    return device_node::openOf(path, "gpio", 0);
}

bool lineInfo(int chipFd, unsigned offset, gpio_v2_line_info& info) {
    std::memset(&info, 0, sizeof info);
    info.offset = offset;
    return ioctl(chipFd, GPIO_V2_GET_LINEINFO_IOCTL, &info) == 0;
}

/// The offset of the line named `name` on the chip, or -1.
long findLine(int chipFd, unsigned lineCount, const std::string& name) {
    gpio_v2_line_info info;
    for (unsigned offset = 0; offset < lineCount; ++offset) {
        if (lineInfo(chipFd, offset, info) && name == info.name) {
            return offset;
        }
    }
    return -1;
}

std::string cannotOpen(const std::string& path, int error) {
    std::string reason = "cannot open " + path + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM) {
        reason += kAccessHint;
    }
    return reason;
}

/// The four lines of one chip, found from a parsed text.
struct Lines {
    std::string chipPath;
    std::string label;
    unsigned offsets[kLineCount] = {};
};

/// Finds the chip and line offsets that `text` names; an empty string, or why not.
std::string resolve(const Text& text, Lines& lines) {
    std::vector<std::string> candidates;
    const std::string& chip = text.chip;
    const bool byLabel = !chip.empty() && chip[0] != '/' &&
                         !(chip.rfind("gpiochip", 0) == 0 && isOffset(chip.substr(8)));
    if (chip.empty() || byLabel) {
        candidates = chipPaths();
    } else {
        candidates.push_back(chip[0] == '/' ? chip : "/dev/" + chip);
    }
    std::string refused;  // the first chip this user may not open, if any
    int refusedError = 0;
    std::string labels;
    for (const auto& path : candidates) {
        Fd fd(openChip(path));
        gpiochip_info info{};
        if ((fd.fd >= 0 && ioctl(fd.fd, GPIO_GET_CHIPINFO_IOCTL, &info) != 0) ||
            (fd.fd < 0 && errno == ENOTTY)) {
            if (!byLabel && !chip.empty()) {
                return path + " is not a GPIO chip";
            }
            continue;
        }
        if (fd.fd < 0) {
            const int error = errno;
            if (!byLabel && !chip.empty()) {
                if (error == ENOENT || error == ENODEV || error == ENXIO) {
                    return "no GPIO chip " + path + " (pmc10 --list-ports shows those present)";
                }
                return cannotOpen(path, error);
            }
            if (refused.empty()) {
                refused = path;
                refusedError = error;
            }
            continue;
        }
        labels +=
            std::string(labels.empty() ? "" : ", ") + baseName(path) + " '" + info.label + "'";
        if (byLabel && chip != info.label) {
            continue;
        }
        bool all = true;
        for (unsigned i = 0; i < kLineCount; ++i) {
            const std::string& token = text.lines[i];
            long offset = -1;
            if (isOffset(token)) {
                const unsigned long value = std::stoul(token);
                if (value >= info.lines) {
                    return "GPIO " + baseName(path) + " has " + std::to_string(info.lines) +
                           " lines (0 to " + std::to_string(info.lines - 1) + "), no line " + token;
                }
                offset = static_cast<long>(value);
            } else {
                offset = findLine(fd.fd, info.lines, token);
            }
            if (offset < 0) {
                if (!chip.empty()) {
                    return "GPIO " + baseName(path) + " has no line named '" + token + "'";
                }
                all = false;
                break;
            }
            lines.offsets[i] = static_cast<unsigned>(offset);
        }
        if (!all) {
            continue;
        }
        for (unsigned i = 0; i < kLineCount; ++i) {
            for (unsigned j = 0; j < i; ++j) {
                if (lines.offsets[i] == lines.offsets[j]) {
                    return "'" + text.lines[j] + "' and '" + text.lines[i] +
                           "' are the same line of GPIO " + baseName(path);
                }
            }
        }
        lines.chipPath = path;
        lines.label = info.label;
        return {};
    }
    if (!refused.empty()) {
        return cannotOpen(refused, refusedError);
    }
    if (labels.empty()) {
        return "no GPIO chip found (no /dev/gpiochip* device)";
    }
    if (byLabel) {
        return "no GPIO chip labelled '" + chip + "' (chips: " + labels + ")";
    }
    return "no GPIO chip has all four lines " + joined(text.lines) + " (chips: " + labels + ")";
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

/// Why the lines are busy when someone other than pmc10 holds one, or empty.
std::string foreignHolder(int chipFd, const Lines& lines, const std::string& chipName) {
    gpio_v2_line_info info;
    for (unsigned offset : lines.offsets) {
        if (!lineInfo(chipFd, offset, info) || !(info.flags & GPIO_V2_LINE_FLAG_USED)) {
            continue;
        }
        if (std::strcmp(info.consumer, kConsumer) == 0) {
            continue;
        }
        const std::string holder = info.consumer[0] != '\0'
                                       ? std::string("'") + info.consumer + "'"
                                       : std::string("another program or a kernel driver");
        return "GPIO " + chipName + " line " + std::to_string(offset) + " is in use by " + holder +
               "; stop it or choose other lines";
    }
    return {};
}

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

    Fd chip(openChip(lines.chipPath));
    if (chip.fd < 0) {
        return OpenResult::unusable(cannotOpen(lines.chipPath, errno));
    }

    gpio_v2_line_request request{};
    for (unsigned i = 0; i < kLineCount; ++i) {
        request.offsets[i] = lines.offsets[i];
    }
    request.num_lines = kLineCount;
    std::strncpy(request.consumer, kConsumer, sizeof request.consumer - 1);
    request.config.flags = GPIO_V2_LINE_FLAG_OUTPUT |
                           (text.activeLow ? GPIO_V2_LINE_FLAG_ACTIVE_LOW : 0) |
                           (text.openDrain ? GPIO_V2_LINE_FLAG_OPEN_DRAIN : 0);
    request.config.num_attrs = 1;
    request.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
    request.config.attrs[0].attr.values = 0xF;  // idle: every line at 1
    request.config.attrs[0].mask = 0xF;

    // Watch the lines before the first try, so that a release between a refused request
    // and the wait still wakes the wait.
    bool watching = false;
    for (;;) {
        if (ioctl(chip.fd, GPIO_V2_GET_LINE_IOCTL, &request) == 0) {
            break;
        }
        const int requestError = errno;
        if (requestError != EBUSY) {
            std::string why = "cannot drive " + description + ": " + std::strerror(requestError);
            if (requestError == ENOENT) {
                why +=
                    " (the chip refused the lines as outputs; an MCP2221A's GP pins must "
                    "be set to GPIO in its flash settings)";
            }
            return OpenResult::unusable(why);
        }
        const std::string holder = foreignHolder(chip.fd, lines, chipName);
        if (!holder.empty()) {
            return OpenResult::unusable(holder);
        }
        if (!watching) {
            for (unsigned offset : lines.offsets) {
                gpio_v2_line_info info{};
                info.offset = offset;
                ioctl(chip.fd, GPIO_V2_GET_LINEINFO_WATCH_IOCTL, &info);
            }
            watching = true;
            continue;  // retry once now that releases are seen
        }
        // Another pmc10 run has the lines: wait for a change of the lines' state.
        if (const signals::Event event = signals::waitForDescriptor(chip.fd, false)) {
            signals::dispatch(event);
            continue;
        }
        gpio_v2_line_info_changed changed;
        if (read(chip.fd, &changed, sizeof changed) < 0 && errno != EINTR) {
            return OpenResult::unusable("cannot wait for " + description + ": " +
                                        std::strerror(errno));
        }
    }
    if (setsOneLineAtATime(lines.label)) {
        std::cerr << message("note: GPIO " + chipName + " '" + lines.label + "' " +
                             oneAtATimeNote(lines.label))
                  << std::endl;
    }
    return OpenResult::opened(std::make_unique<GpioPort>(request.fd, description));
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
