// The pmc10 board on Linux: "board:/dev/ttyACM0". The text must name a serial tty (a
// USB serial adapter, a board's own USB port, a pseudo-terminal), never a console or
// anything else; it is opened without becoming a controlling terminal, locked against a
// second run (flock and TIOCEXCL) and set to 57600 baud, raw.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/Board.h"
#include "platform/BoardText.h"
#include "platform/PreciseSleep.h"
#include "platform/Signals.h"
#include "port/Port.h"

namespace {

const char* const kPrefix = "board:";
/// How long a signal may wait while the line is read: the read is done in slices.
constexpr int kSignalSliceMs = 2;

std::string devicePath(const std::string& text) {
    const std::string device = text.substr(std::strlen(kPrefix));
    return device.find('/') == std::string::npos ? "/dev/" + device : device;
}

bool claimsText(const std::string& text) {
    return text.rfind(kPrefix, 0) == 0;
}

std::string checkText(const std::string& text) {
    const std::string device = text.substr(std::strlen(kPrefix));
    if (device.empty()) {
        return "no serial port after 'board:' (as in board:/dev/ttyACM0)";
    }
    if (device.find('\0') != std::string::npos || device.size() > PATH_MAX) {
        return "not a serial port's name";
    }
    return {};
}

/// The driver of character devices of `major`, from /proc/devices ("ttyACM", "pts").
std::vector<std::string> driversOf(unsigned major) {
    std::ifstream devices("/proc/devices");
    std::vector<std::string> names;
    bool inCharacter = false;
    for (std::string line; std::getline(devices, line);) {
        if (line.empty()) {
            inCharacter = false;
        } else if (line == "Character devices:") {
            inCharacter = true;
        } else if (inCharacter) {
            const auto space = line.find_first_not_of(' ');
            const auto after = line.find(' ', space);
            if (after != std::string::npos &&
                std::strtoul(line.c_str() + space, nullptr, 10) == major) {
                names.push_back(line.substr(after + 1));
            }
        }
    }
    return names;
}

/// Empty when `node` is a serial line's device; else why it is not one.
std::string notASerialLine(const struct stat& node) {
    if (!S_ISCHR(node.st_mode)) {
        return "is not a serial port";
    }
    const unsigned major = ::major(node.st_rdev);
    const unsigned minor = ::minor(node.st_rdev);
    if (major == 4 && minor < 64) {
        return "is a console, not a serial port";
    }
    for (const std::string& driver : driversOf(major)) {
        if (driver == "pts" || (driver.rfind("tty", 0) == 0 && driver != "tty") ||
            (driver == "tty" && minor >= 64)) {
            return {};
        }
    }
    return "is not a serial port";
}

class TermiosLine : public board::SerialLine {
  public:
    explicit TermiosLine(int fd) : fd_(fd) {}
    ~TermiosLine() override { closeFd(); }

    bool send(const std::uint8_t* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t wrote = ::write(fd_, data, size);
            if (wrote > 0) {
                data += wrote;
                size -= static_cast<std::size_t>(wrote);
                continue;
            }
            if (wrote < 0 && errno != EAGAIN && errno != EINTR) {
                error_ = errno;
                return false;
            }
            // The line's buffer is full: a second is long enough for any board to drain it.
            pollfd ready{fd_, POLLOUT, 0};
            if (::poll(&ready, 1, 1000) <= 0 || (ready.revents & (POLLERR | POLLHUP)) != 0) {
                error_ = ready.revents != 0 ? EIO : ETIMEDOUT;
                return false;
            }
        }
        return true;
    }

    int receive(std::uint8_t* data, std::size_t size, int timeoutMs, bool quiet) override {
        const std::int64_t deadline = nowMs() + timeoutMs;
        for (;;) {
            if (!quiet) {
                if (const signals::Event event = signals::poll()) {
                    signals::dispatch(event);
                }
            }
            const ssize_t got = ::read(fd_, data, size);
            if (got > 0) {
                return static_cast<int>(got);
            }
            if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // End of file on a tty: the other end hung up (adapter unplugged, pty closed).
                error_ = got == 0 ? EIO : errno;
                return -1;
            }
            const std::int64_t left = deadline - nowMs();
            if (left <= 0) {
                return 0;
            }
            pollfd ready{fd_, POLLIN, 0};
            const int slice =
                static_cast<int>(quiet ? left : std::min<std::int64_t>(left, kSignalSliceMs));
            if (::poll(&ready, 1, slice) < 0 && errno != EINTR) {
                error_ = errno;
                return -1;
            }
        }
    }

    std::int64_t nowMs() override { return precise_sleep::nowNanoseconds() / 1000000; }

    std::string lastError() const override { return std::strerror(error_); }

    void close() override { closeFd(); }

  private:
    void closeFd() {
        if (fd_ >= 0) {
            ::close(fd_);  // the lock goes with the descriptor
            fd_ = -1;
        }
    }

    int fd_;
    int error_ = 0;
};

port::OpenResult openText(const std::string& text) {
    const std::string path = devicePath(text);
    struct stat node {};
    if (stat(path.c_str(), &node) != 0) {
        return port::OpenResult::unusable("cannot use " + path + ": " + std::strerror(errno));
    }
    if (std::string why = notASerialLine(node); !why.empty()) {
        return port::OpenResult::badText(path + " " + why);
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        std::string reason = "cannot open " + path + ": " + std::strerror(error);
        if (error == EACCES) {
            reason +=
                " (add yourself to the group of the port, usually dialout: sudo usermod "
                "-aG dialout $USER, then log in again)";
        } else if (error == EBUSY) {
            reason += " (another program has it)";
        }
        return port::OpenResult::unusable(reason);
    }
    auto line = std::make_unique<TermiosLine>(fd);
    struct stat opened {};
    // The node may have been replaced between the check and the opening.
    if (fstat(fd, &opened) != 0 || opened.st_rdev != node.st_rdev || !isatty(fd)) {
        return port::OpenResult::badText(path + " is not a serial port");
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        return port::OpenResult::unusable(path + " is in use by another program or pmc10 run");
    }
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return port::OpenResult::unusable("cannot set up " + path + ": " + std::strerror(errno));
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB);
    settings.c_cc[VMIN] = 1;  // with O_NONBLOCK: EAGAIN when nothing came, 0 on hang-up
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B57600);
    cfsetospeed(&settings, B57600);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        return port::OpenResult::unusable("cannot set up " + path + ": " + std::strerror(errno));
    }
    tcflush(fd, TCIOFLUSH);
    return board::greetAndOpen(std::move(line), path);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::string text;
    std::getline(file, text);
    return text;
}

void listBoards(std::vector<port::PortInfo>& out) {
    DIR* ttys = opendir("/sys/class/tty");
    if (ttys == nullptr) {
        return;
    }
    std::vector<port::PortInfo> found;
    while (const dirent* entry = readdir(ttys)) {
        const std::string name = entry->d_name;
        if (name.rfind("ttyACM", 0) != 0 && name.rfind("ttyUSB", 0) != 0) {
            continue;
        }
        char resolved[PATH_MAX];
        const std::string device = "/sys/class/tty/" + name + "/device";
        if (realpath(device.c_str(), resolved) == nullptr) {
            continue;
        }
        // Up from the interface to the USB device, which has the IDs.
        std::string dir = resolved;
        while (dir.size() > 1 && access((dir + "/idVendor").c_str(), F_OK) != 0) {
            dir = dir.substr(0, dir.rfind('/'));
        }
        const std::string vendor = readFile(dir + "/idVendor");
        const std::string product = readFile(dir + "/idProduct");
        const char* kind = board::usualBoard(vendor, product);
        if (kind == nullptr) {
            continue;
        }
        port::PortInfo info;
        const std::string path = "/dev/" + name;
        info.name = kPrefix + path;
        info.kind = board::listedKind(kind);
        info.detail = vendor + ":" + product;
        for (const char* field : {"/product", "/serial"}) {
            const std::string value = readFile(dir + field);
            if (!value.empty()) {
                info.detail += " " + value;
            }
        }
        info.usable = access(path.c_str(), R_OK | W_OK) == 0;
        info.note = info.usable ? board::notAskedNote(info.name)
                                : "no access: add yourself to group dialout (sudo usermod -aG "
                                  "dialout $USER) and log in again";
        found.push_back(std::move(info));
    }
    closedir(ttys);
    std::sort(found.begin(), found.end(),
              [](const port::PortInfo& a, const port::PortInfo& b) { return a.name < b.name; });
    out.insert(out.end(), found.begin(), found.end());
}

}  // namespace

namespace board {

std::string firmwarePath() {
    // Next to the tool: <prefix>/bin/pmc10 and <prefix>/share/pmc10/firmware, for the
    // package and for an unpacked tarball alike.
    char exe[PATH_MAX];
    const ssize_t size = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (size > 0) {
        std::string prefix(exe, static_cast<std::size_t>(size));
        prefix = prefix.substr(0, prefix.rfind('/'));
        prefix = prefix.substr(0, prefix.rfind('/'));
        std::string beside = prefix + "/share/pmc10/firmware/pmc10-board.hex";
        if (access(beside.c_str(), R_OK) == 0) {
            return beside;
        }
    }
    return PMC10_FIRMWARE_HEX;
}

}  // namespace board

namespace port {
const char* const kForms =
    "board:/dev/ttyACMN\ta pmc10 board (ATmega328P) that strokes the keys itself";
extern const Backend boardBackend{"board", claimsText, openText, listBoards, checkText, kForms};
}  // namespace port
