// Parallel ports by their base address. Where the kernel runs the port (parportN), the
// run goes through its ppdev node; else by direct I/O (x86, root only). Fail-closed: the
// address must be a port's base, no other driver may hold any of its registers, the run
// holds a per-address lock that only root can create, and a port must answer at the
// address before the first write; where the kernel's parport driver runs the port but
// ppdev is not loaded, the run is refused rather than write behind the driver's back.
#include <fcntl.h>
#include <sys/io.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/BusyWait.h"
#include "platform/linux/ParallelPorts.h"
#include "port/IoAddress.h"
#include "port/Port.h"

namespace port {

// Ports that the kernel runs are handed to the ppdev backend.
extern const Backend ppdevBackend;

namespace {

// A port is the data, status and control registers at base, base + 1, base + 2.
constexpr unsigned kRegisters = 3;
constexpr unsigned kControl = 2;
// The control register's bit that turns the data lines around into inputs.
constexpr unsigned kDirectionBit = 0x20;
// Only root can create files here, which direct I/O needs anyway.
const char* const kLockFolder = "/run";

class DirectIoPort : public Port {
  public:
    DirectIoPort(unsigned base, int lockFd) : base_(base), lockFd_(lockFd) {}
    bool write(std::uint8_t byte) override {
        outb(byte, static_cast<unsigned short>(base_));
        return true;
    }
    bool emergencyIdle() noexcept override {
        outb(kIdleByte, static_cast<unsigned short>(base_));
        return true;
    }
    void close() override {
        if (lockFd_ >= 0) {
            ::close(lockFd_);
            lockFd_ = -1;
        }
    }
    std::string describe() const override { return "direct I/O at " + hexAddress(base_); }

  private:
    unsigned base_;
    int lockFd_;
};

bool claimsText(const std::string& text) {
    return looksLikeIoAddress(text);
}

std::string checkText(const std::string& text) {
    return checkIoAddress(text);
}

/// Takes this address's lock: a root-owned regular file in a root-only folder, never a
/// link. False, with the reason, when it cannot be had: then nothing may be written.
bool takeLock(unsigned base, int& fd, std::string& reason) {
    const std::string path = std::string(kLockFolder) + "/pmc10-io-" + hexAddress(base) + ".lock";
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    struct stat file {};
    if (fd < 0 || fstat(fd, &file) != 0) {
        reason =
            "cannot take the lock " + path + ": " + std::strerror(errno) + "; nothing was sent";
    } else if (!S_ISREG(file.st_mode) || file.st_uid != 0) {
        reason = path + " is not a regular file owned by root; nothing was sent";
    } else if (!busy_wait::lockExclusive(fd, hexAddress(base))) {
        reason = "cannot lock " + path + ": " + std::strerror(errno) + "; nothing was sent";
    } else {
        return true;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return false;
}

/// Whether a parallel port answers at `base`, asked without pressing a key: the cable
/// uses only data lines D0 to D3, so the test goes through the control register's four
/// output bits (strobe, autofeed, init, select), which hold what was written to them
/// where a port is, and read back as all ones where none is. The register is put back.
bool portAnswers(unsigned base) {
    const auto control = static_cast<unsigned short>(base + kControl);
    const unsigned char saved = inb(control);
    bool answers = true;
    for (const unsigned char pattern : {0x05, 0x0A}) {
        outb(static_cast<unsigned char>((saved & 0xF0) | pattern), control);
        answers = answers && (inb(control) & 0x0F) == pattern;
    }
    outb(saved, control);
    if (answers && (saved & kDirectionBit) != 0) {
        // Data lines turned around: latch idle before they drive, then drive.
        outb(kIdleByte, static_cast<unsigned short>(base));
        outb(static_cast<unsigned char>(saved & ~kDirectionBit), control);
    }
    return answers;
}

/// Why ioperm() refused: not root, or root in a system that forbids direct I/O.
std::string whyNoIoAccess() {
    return geteuid() != 0 ? "needs root"
                          : "is not permitted here (a container or the kernel's lockdown forbids "
                            "it)";
}

/// Why another driver's addresses overlap the port's three registers, or empty.
std::string foreignOwner(unsigned base) {
    for (unsigned address = base; address < base + kRegisters; ++address) {
        const std::string owner = parallel_ports::ioportsOwner(address);
        if (!owner.empty()) {
            return hexAddress(address) + " belongs to the kernel's " + owner +
                   " driver, not to a parallel port at " + hexAddress(base);
        }
    }
    return {};
}

OpenResult openText(const std::string& text) {
    const unsigned base = parseIoAddress(text);
    const std::string where = hexAddress(base);
    // A port the kernel runs is reached through its ppdev node, never behind the driver.
    const parallel_ports::KernelPort kernel = parallel_ports::kernelPortAt(base);
    if (kernel.number >= 0) {
        const std::string node = "/dev/parport" + std::to_string(kernel.number);
        if (ppdevBackend.check(node).empty()) {
            return ppdevBackend.open(node);
        }
        return OpenResult::unusable("the kernel's parallel-port driver runs " + where +
                                    " as parport" + std::to_string(kernel.number) +
                                    ", but ppdev is not loaded: sudo modprobe ppdev, then use " +
                                    node);
    }
    if (ioperm(base, kRegisters, 1) != 0) {
        return OpenResult::unusable(
            "no parallel port found (/dev/parport0 is missing; load the parport_pc and "
            "ppdev modules), and direct I/O at " +
            where + " " + whyNoIoAccess());
    }
    const std::string owner = foreignOwner(base);
    if (!owner.empty()) {
        return OpenResult::unusable(owner);
    }
    int lockFd = -1;
    std::string reason;
    if (!takeLock(base, lockFd, reason)) {
        return OpenResult::unusable(reason);
    }
    if (!portAnswers(base)) {
        ::close(lockFd);
        return OpenResult::unusable("no parallel port at " + where +
                                    " (nothing answers there; pmc10 --list-ports shows the "
                                    "ports here)");
    }
    return OpenResult::opened(std::make_unique<DirectIoPort>(base, lockFd));
}

void listPorts(std::vector<PortInfo>& out) {
    constexpr unsigned kFirst = 0x378;
    if (parallel_ports::kernelPortAt(kFirst).number >= 0) {
        return;  // the kernel runs it: listed as its ppdev node
    }
    PortInfo info{hexAddress(kFirst), "parallel port (direct I/O)", hexAddress(kFirst), false, ""};
    if (ioperm(kFirst, kRegisters, 1) != 0) {
        info.note = "direct I/O " + whyNoIoAccess() +
                    "; or load the kernel's drivers (sudo modprobe parport_pc ppdev) and use "
                    "/dev/parport0";
    } else if (!parallel_ports::ioportsOwner(kFirst).empty()) {
        info.note = "held by the kernel's " + parallel_ports::ioportsOwner(kFirst) + " driver";
    } else if (inb(kFirst + kControl) == 0xFF && inb(kFirst + 1) == 0xFF) {
        info.note = "nothing answers at this address (check the BIOS setting of the port)";
    } else {
        info.usable = true;
    }
    out.push_back(info);
}

}  // namespace

const char* const kForms =
    "0xADDR\tthe port at that base (a multiple of 4): ppdev where the kernel runs it, else direct "
    "I/O (root)";
extern const Backend directIoBackend{"directio", claimsText, openText,
                                     listPorts,  checkText,  kForms};

}  // namespace port
