// A USB MCP2221A's four GP pins as the port, through its hidraw node and the chip's own
// commands. The kernel's gpiochip for this chip (hid-mcp2221) sets one pin per USB
// command, so a code that changes several pins passes through other codes; the chip's
// Set GPIO Output Values command sets all four pins in one report, so here the pins show
// only the codes written and idle.
//
// PORT texts: "mcp2221" (the only one plugged in) or "mcp2221:/dev/hidrawN". A node is
// taken only when sysfs and the hidraw driver both say it is an MCP2221A (04d8:00dd),
// checked before anything is written; other hidraw devices are never opened. The chips
// are found in platform/linux/Mcp2221Chips.cpp, their commands built and read in
// platform/linux/Mcp2221Reports.cpp.
//
// Opening makes the four pins GPIO outputs at idle (high) in one Set SRAM Settings
// command, whatever they were, so the pins never show a key while the port opens. The
// hidraw node is locked (flock) for the run: a second run waits, as on a parallel port.
#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/PreciseSleep.h"
#include "platform/linux/BusyWait.h"
#include "platform/linux/DeviceNode.h"
#include "platform/linux/Mcp2221Chips.h"
#include "platform/linux/Mcp2221Reports.h"
#include "port/Port.h"

namespace port::mcp2221 {
namespace {

// How long the chip may take to answer: it answers within a few milliseconds.
constexpr std::int64_t kAnswerNs = 1000000000;

/// The node a text names: "/dev/hidrawN" for "mcp2221:/dev/hidrawN" or
/// "mcp2221:hidrawN", empty for "mcp2221".
std::string nodeOf(const std::string& text) {
    if (text.size() <= 8) {
        return {};
    }
    const std::string node = text.substr(8);
    return node[0] == '/' ? node : "/dev/" + node;
}

class Mcp2221Port final : public Port {
  public:
    Mcp2221Port(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~Mcp2221Port() override { close(); }

    bool write(std::uint8_t byte) override {
        if (fd_ < 0) {
            return false;
        }
        // The pins already carry it: a USB round trip would only delay the next wait.
        if ((byte & 0xF) == pins_) {
            return true;
        }
        Answer answer{};
        pins_ = kUnknown;  // until the chip confirms
        if (!exchange(gpioValues(byte), answer)) {
            return fail();
        }
        if (const std::size_t pin = notGpio(answer); pin < kPins) {
            failure_ = "the " + describe() + " refused GP" + std::to_string(pin) +
                       ": the pin is no longer a GPIO";
            return fail();
        }
        pins_ = byte & 0xF;
        return true;
    }

    bool emergencyIdle() noexcept override {
        return fd_ >= 0 &&
               ::write(fd_, idle_.data(), idle_.size()) == static_cast<ssize_t>(idle_.size());
    }

    void close() override {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    std::string describe() const override { return "MCP2221A " + path_; }
    std::string failure() const override { return failure_; }

    /// Makes the four pins GPIO outputs at idle, all in one command, and checks that the
    /// chip took it. False with failure() set when not.
    bool configure() {
        Answer answer{};
        if (!exchange(idleOutputs(), answer) || !exchange(command(kGetGpioValues), answer)) {
            return false;
        }
        if (const std::size_t pin = notIdleOutput(answer); pin < kPins) {
            failure_ = "the " + describe() + " did not make GP" + std::to_string(pin) +
                       " an output at idle; nothing was sent";
            return false;
        }
        pins_ = kIdleByte & 0xF;
        return true;
    }

  private:
    /// Sends `request` and waits for the chip's answer to it. Answers to other commands
    /// (the kernel's driver shares the chip) are passed over.
    bool exchange(const Request& request, Answer& answer) {
        while (::read(fd_, answer.data(), answer.size()) > 0) {
            // stale answers, read before asking
        }
        if (::write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
            return broken(errno);
        }
        const std::int64_t until = precise_sleep::nowNanoseconds() + kAnswerNs;
        for (;;) {
            const std::int64_t left = until - precise_sleep::nowNanoseconds();
            if (left <= 0) {
                failure_ = "the " + describe() + " did not answer within a second";
                return false;
            }
            pollfd wait{fd_, POLLIN, 0};
            const int ready = poll(&wait, 1, static_cast<int>(left / 1000000 + 1));
            if (ready < 0 && errno != EINTR) {
                return broken(errno);
            }
            if (ready <= 0) {
                continue;
            }
            const ssize_t got = ::read(fd_, answer.data(), answer.size());
            if (got < 0 && errno != EAGAIN && errno != EINTR) {
                return broken(errno);
            }
            if (got > 1 && answer[0] == request[1]) {
                if (answer[1] != 0) {
                    failure_ = "the " + describe() + " refused command 0x" + hex(request[1]) +
                               " (status 0x" + hex(answer[1]) + ")";
                    return false;
                }
                return true;
            }
        }
    }

    static std::string hex(std::uint8_t value) {
        char text[4];
        std::snprintf(text, sizeof text, "%02x", value);
        return text;
    }

    bool broken(int error) {
        failure_ = "the " + describe() + " failed: " + std::strerror(error);
        if (gone(error)) {
            failure_ += " (the chip is gone: was the adapter unplugged?)";
        }
        return false;
    }

    /// Whether the chip has left the bus. A transfer cut by an unplug can fail with a
    /// protocol error before the kernel has seen the chip go; it follows within moments.
    bool gone(int error) const {
        if (error == ENODEV || error == EIO || error == ESHUTDOWN) {
            return true;
        }
        if (error != EPROTO && error != EPIPE) {
            return false;
        }
        for (int tries = 0; tries < 20; ++tries) {
            hidraw_devinfo info{};
            if (ioctl(fd_, HIDIOCGRAWINFO, &info) != 0 && errno == ENODEV) {
                return true;
            }
            usleep(10000);
        }
        return false;
    }

    /// After a failed write: one more try at idle, then the port takes no more writes.
    bool fail() {
        emergencyIdle();
        close();
        return false;
    }

    static constexpr unsigned kUnknown = 0x100;
    int fd_;
    std::string path_;
    std::string failure_;
    /// The levels the chip last confirmed on GP3..GP0, or kUnknown.
    unsigned pins_ = kUnknown;
    const Request idle_ = gpioValues(kIdleByte);
};

bool claimsText(const std::string& text) {
    return text.rfind(kPrefix, 0) == 0;
}

std::string checkText(const std::string& text) {
    if (text == kPrefix) {
        return {};
    }
    // A path is checked when it is opened; a short name is hidrawN.
    const std::string name = text.substr(std::min<std::size_t>(text.size(), 8));
    if (text[7] != ':' || name.empty() ||
        (name[0] != '/' && (name.size() <= 6 || name.rfind("hidraw", 0) != 0 ||
                            name.find_first_not_of("0123456789", 6) != std::string::npos))) {
        return "write an MCP2221A as mcp2221 or mcp2221:/dev/hidrawN";
    }
    return {};
}

OpenResult openText(const std::string& text) {
    std::string path = nodeOf(text);
    if (path.empty()) {
        const std::vector<Chip> found = chips();
        if (found.empty()) {
            return OpenResult::unusable(
                "no MCP2221A is plugged in (pmc10 --list-ports shows the ports here)");
        }
        if (found.size() > 1 && !found[1].node.empty()) {
            return OpenResult::unusable(std::to_string(found.size()) +
                                        " MCP2221As are plugged in: choose one, as in --port "
                                        "mcp2221:" +
                                        found[0].node + " (pmc10 --list-ports shows them)");
        }
        if (found[0].node.empty()) {
            return OpenResult::unusable(std::string("an MCP2221A is plugged in, but ") +
                                        kHeldByDriver);
        }
        path = found[0].node;
    }
    dev_t device = 0;
    const int fd = device_node::openOf(path, "hidraw", O_NONBLOCK, &device);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOTTY) {
            return OpenResult::unusable(path + " is not an MCP2221A's hidraw node");
        }
        std::string reason = "cannot open " + path + ": " + std::strerror(error);
        if (error == EACCES || error == EPERM) {
            reason += kAccessHint;
        }
        return OpenResult::unusable(reason);
    }
    hidraw_devinfo info{};
    if (!isChip(device_node::sysfsFolder(device) + "/device") ||
        ioctl(fd, HIDIOCGRAWINFO, &info) != 0 || info.bustype != BUS_USB ||
        static_cast<std::uint16_t>(info.vendor) != kVendor ||
        static_cast<std::uint16_t>(info.product) != kProduct) {
        ::close(fd);
        return OpenResult::unusable(path + " is not an MCP2221A's hidraw node");
    }
    if (!busy_wait::lockExclusive(fd, "the MCP2221A " + path)) {
        const int error = errno;
        ::close(fd);
        return OpenResult::unusable("cannot lock " + path + ": " + std::strerror(error));
    }
    auto port = std::make_unique<Mcp2221Port>(fd, path);
    if (!port->configure()) {
        return OpenResult::unusable(port->failure());
    }
    return OpenResult::opened(std::move(port));
}

}  // namespace
}  // namespace port::mcp2221

namespace port {
const char* const kForms =
    "mcp2221\tthe MCP2221A plugged in: all four pins change at once (hidraw)\n"
    "mcp2221:/dev/hidrawN\tthat MCP2221A, when several are plugged in";
extern const Backend mcp2221Backend{"mcp2221",          mcp2221::claimsText, mcp2221::openText,
                                    mcp2221::listChips, mcp2221::checkText,  kForms};
}  // namespace port
