// The ioctls of linux/gpio.h are used directly rather than libgpiod: libgpiod 1.6 (Debian
// 12) and 2.x (Debian 13) have incompatible APIs, so one source would need both, while the
// uAPI v2 ABI has been stable since Linux 5.10 and needs no library at all.
//
// The four lines are requested once, as outputs whose initial values are already idle
// (the request carries the output values), so opening presses no key; they are held for
// the whole run (platform/linux/GpioPort.cpp sets them).
//
// A line held by another pmc10 run is waited for, as the parallel port is, so that two
// runs started together play one after the other instead of one failing; a line held by
// anything else is an error naming the holder, since that holder will not let go.
#include "platform/linux/GpioChips.h"

#include <dirent.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Signals.h"
#include "platform/linux/DeviceNode.h"

namespace port::gpio {
namespace {

constexpr const char* kConsumer = "pmc10";
constexpr const char* kAccessHint =
    " (on a Raspberry Pi add yourself to the group gpio; elsewhere install the udev rule "
    "60-pmc10-gpio.rules for the group plugdev; then log in again)";

bool lineInfo(int chipFd, unsigned offset, gpio_v2_line_info& info) {
    std::memset(&info, 0, sizeof info);
    info.offset = offset;
    return ioctl(chipFd, GPIO_V2_GET_LINEINFO_IOCTL, &info) == 0;
}

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

}  // namespace

bool isOffset(const std::string& token) {
    return !token.empty() &&
           std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : ",") + part;
    }
    return text;
}

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

int openChip(const std::string& path) {
    return device_node::openOf(path, "gpio", 0);
}

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

int requestLines(const Lines& lines, const Text& text, const std::string& description,
                 std::string& why) {
    Fd chip(openChip(lines.chipPath));
    if (chip.fd < 0) {
        why = cannotOpen(lines.chipPath, errno);
        return -1;
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
            return request.fd;
        }
        const int requestError = errno;
        if (requestError != EBUSY) {
            why = "cannot drive " + description + ": " + std::strerror(requestError);
            if (requestError == ENOENT) {
                why +=
                    " (the chip refused the lines as outputs; an MCP2221A's GP pins must "
                    "be set to GPIO in its flash settings)";
            }
            return -1;
        }
        const std::string holder = foreignHolder(chip.fd, lines, baseName(lines.chipPath));
        if (!holder.empty()) {
            why = holder;
            return -1;
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
            why = "cannot wait for " + description + ": " + std::strerror(errno);
            return -1;
        }
    }
}

}  // namespace port::gpio
