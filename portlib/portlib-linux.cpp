// Real parallel port on Linux. Prefers the kernel's user-space driver (/dev/parport0,
// ppdev); where that device does not exist it falls back to direct I/O on the port
// address (x86 only, needs root or CAP_SYS_RAWIO). Either way one run holds the port
// exclusively, so two runs never interleave their key strokes: the second one waits.
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#if (defined(__x86_64__) || defined(__i386__)) && !defined(PMC10_NO_DIRECT_IO)
#include <sys/io.h>
#define PMC10_HAVE_DIRECT_IO 1
#endif

// The tests build this file with a device path of their own.
#ifndef PMC10_PARPORT_DEVICE
#define PMC10_PARPORT_DEVICE "/dev/parport0"
#endif

#include <cerrno>
#include <csignal>
#include <cstring>

#include "portlib/PortLibrary.h"
#include "portlib/PreciseSleep.h"

namespace {

const char* const kDevice = PMC10_PARPORT_DEVICE;
#ifdef PMC10_HAVE_DIRECT_IO
// Direct I/O has no driver to arbitrate between processes; an advisory lock on this file
// does it instead. The kernel drops the lock when its holder ends, however it ends.
const char* const kDirectIoLock = "/run/lock/pmc10-parport.lock";
constexpr unsigned kDirectIoPort = 0x378;
#endif

/// How this run reaches the port, once it is open.
enum Access : int { kNone, kPpdev, kDirectIo };

volatile std::sig_atomic_t portAccess = kNone;
// Waits are measured from the end of the last write: a code stays on the lines at least
// as long as asked, however long the write itself took.
std::int64_t lastWriteNanos = 0;
int deviceFd = -1;
std::string reason;

int lockExclusive(int fd) {
    int result = 0;
    while ((result = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    return result;
}

bool openPpdev(int fd) {
    if (lockExclusive(fd) != 0 || ioctl(fd, PPCLAIM) != 0) {
        const int error = errno;
        reason = std::string("pmc10: cannot claim ") + kDevice + ": " + std::strerror(error);
        if (error == EBUSY) {
            reason += " (is another program using the port?)";
        }
        close(fd);
        return false;
    }
    deviceFd = fd;
    portAccess = kPpdev;
    return true;
}

bool openDirectIo() {
#ifdef PMC10_HAVE_DIRECT_IO
    if (ioperm(kDirectIoPort, 1, 1) == 0) {
        const int lockFd = open(kDirectIoLock, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (lockFd >= 0) {
            lockExclusive(lockFd);  // held, like the descriptor, until the process ends
        }
        portAccess = kDirectIo;
        return true;
    }
#endif
    reason = std::string("pmc10: no parallel port found (") + kDevice +
             " is missing; load the parport_pc and ppdev modules)";
    return false;
}

}  // namespace

namespace portlib {

bool initialize() {
    precise_sleep::prepare();
    const int fd = open(kDevice, O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        return openPpdev(fd);
    }
    if (errno == ENOENT || errno == ENODEV || errno == ENXIO) {
        return openDirectIo();
    }
    const int error = errno;
    reason = std::string("pmc10: cannot open ") + kDevice + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM) {
        reason += " (add your user to the \"lp\" group, or run as root)";
    }
    return false;
}

void write(std::uint16_t address, std::uint32_t value, std::uint8_t /*size*/) {
    unsigned char byte = static_cast<unsigned char>(value & 0xFF);
    if (portAccess == kPpdev) {
        // ppdev only knows the port it opened; the address is that port's data register.
        ioctl(deviceFd, PPWDATA, &byte);
    } else if (portAccess == kDirectIo) {
#ifdef PMC10_HAVE_DIRECT_IO
        outb(byte, address);
#else
        (void)address;
#endif
    }
    lastWriteNanos = precise_sleep::nowNanoseconds();
}

void sleep(int milliseconds) {
    precise_sleep::sleepFrom(lastWriteNanos, milliseconds);
}

std::string failureReason() {
    return reason;
}

}  // namespace portlib
