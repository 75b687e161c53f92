// Parallel ports through the kernel's user-space driver, ppdev: /dev/parportN. The
// device is locked (flock) before it is claimed, so two runs never interleave their
// strokes: the second one says that it waits, and waits.
#include <dirent.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/linux/BusyWait.h"
#include "platform/linux/ParallelPorts.h"
#include "port/IoAddress.h"
#include "port/Port.h"

namespace port {
namespace {

// The character-device major number of ppdev (PP_MAJOR in the kernel).
constexpr unsigned kPpdevMajor = 99;

const char* const kGroupHint = "add your user to the \"lp\" group, or run as root";

/// "/dev/parport1" for "parport1" or "/dev/parport1".
std::string devicePath(const std::string& text) {
    return text.rfind("parport", 0) == 0 ? "/dev/" + text : text;
}

class PpdevPort : public Port {
  public:
    PpdevPort(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    bool write(std::uint8_t byte) override {
        if (fd_ < 0 || ioctl(fd_, PPWDATA, &byte) != 0) {
            failure_ = "writing to " + path_ + " failed: " + std::strerror(errno);
            return false;
        }
        return true;
    }
    bool emergencyIdle() noexcept override {
        unsigned char idle = kIdleByte;
        return fd_ >= 0 && ioctl(fd_, PPWDATA, &idle) == 0;
    }
    void close() override {
        if (fd_ >= 0) {
            ioctl(fd_, PPRELEASE);
            ::close(fd_);
            fd_ = -1;
        }
    }
    std::string describe() const override { return path_; }
    std::string failure() const override { return failure_; }

  private:
    int fd_;
    std::string path_;
    std::string failure_;
};

bool claimsText(const std::string& text) {
    return text.rfind("parport", 0) == 0 || text.rfind('/', 0) == 0;
}

std::string checkText(const std::string& text) {
    if (text.rfind("parport", 0) == 0 &&
        (text.size() == 7 || text.find_first_not_of("0123456789", 7) != std::string::npos)) {
        return "a parallel port is parportN or /dev/parportN";
    }
    const std::string path = devicePath(text);
    struct stat node {};
    if (stat(path.c_str(), &node) != 0) {
        return std::string(std::strerror(errno)) + " (pmc10 --list-ports shows the ports here)";
    }
    if (S_ISREG(node.st_mode)) {
        return "a regular file, not a parallel port";
    }
    if (S_ISDIR(node.st_mode)) {
        return "a directory, not a parallel port";
    }
    if (!S_ISCHR(node.st_mode)) {
        return "not a parallel port device";
    }
    const unsigned kind = major(node.st_rdev);
    if (kind == 4 || kind == 5 || (kind >= 136 && kind <= 143) || kind == 166 || kind == 188) {
        return "a terminal, not a parallel port";
    }
    if (kind != kPpdevMajor) {
        return "a character device that is not a parallel port (ppdev)";
    }
    return {};
}

OpenResult openText(const std::string& text) {
    const std::string path = devicePath(text);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENXIO || error == ENODEV) {
            return OpenResult::unusable(
                path +
                " exists, but no parallel port or driver is behind it (load the driver: sudo "
                "modprobe parport_pc; for a PCIe card see pmc10 --list-ports)");
        }
        if (error == ENOENT) {
            return OpenResult::unusable("no parallel port found (" + path +
                                        " is missing; load the parport_pc and ppdev modules)");
        }
        std::string reason = "cannot open " + path + ": " + std::strerror(error);
        if (error == EACCES || error == EPERM) {
            reason += std::string(" (") + kGroupHint + ")";
        }
        return OpenResult::unusable(reason);
    }
    if (!busy_wait::lockExclusive(fd, path) || ioctl(fd, PPCLAIM) != 0) {
        const int error = errno;
        ::close(fd);
        std::string reason = "cannot claim " + path + ": " + std::strerror(error);
        if (error == EBUSY) {
            reason += " (is another program using the port?)";
        }
        return OpenResult::unusable(reason);
    }
    return OpenResult::opened(std::make_unique<PpdevPort>(fd, path));
}

std::string readLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

void listPorts(std::vector<PortInfo>& out) {
    for (const parallel_ports::KernelPort& kernel : parallel_ports::kernelPorts()) {
        PortInfo info;
        info.name = "/dev/parport" + std::to_string(kernel.number);
        info.kind = "parallel port (ppdev)";
        info.detail = hexAddress(kernel.base);
        const std::string proc = "/proc/sys/dev/parport/parport" + std::to_string(kernel.number);
        const std::string active = readLine(proc + "/devices/active");
        if (access(info.name.c_str(), F_OK) != 0) {
            info.note = parallel_ports::ppdevLoaded()
                            ? "no device node: create it (sudo mknod " + info.name + " c 99 " +
                                  std::to_string(kernel.number) + ") or let udev do it"
                            : "the ppdev module is not loaded: sudo modprobe ppdev";
        } else if (access(info.name.c_str(), R_OK | W_OK) != 0) {
            info.note = std::string("no access: ") + kGroupHint +
                        " (sudo usermod -aG lp $USER, then log in again)";
        } else if (!active.empty() && active != "none" && active.rfind("ppdev", 0) != 0) {
            info.note = "held by the " + active + " driver: sudo rmmod " +
                        active.substr(0, active.find_first_of("0123456789"));
        } else {
            info.usable = true;
        }
        out.push_back(info);
    }
    // A parallel card that the kernel found but no driver took.
    const std::string pci = "/sys/bus/pci/devices";
    for (const std::string& slot : [&] {
             std::vector<std::string> slots;
             if (DIR* dir = opendir(pci.c_str())) {
                 while (const dirent* entry = readdir(dir)) {
                     if (entry->d_name[0] != '.') {
                         slots.emplace_back(entry->d_name);
                     }
                 }
                 closedir(dir);
             }
             return slots;
         }()) {
        const std::string device = pci + "/" + slot;
        if (readLine(device + "/class").rfind("0x0701", 0) != 0 ||
            access((device + "/driver").c_str(), F_OK) == 0) {
            continue;
        }
        out.push_back(
            {"pci:" + slot, "parallel card (PCI/PCIe)",
             readLine(device + "/vendor").substr(2) + ":" + readLine(device + "/device").substr(2),
             false,
             "no driver bound: sudo modprobe parport_pc (lspci -v -s " + slot +
                 " shows its I/O ports; else modprobe parport_pc io=0x...)"});
    }
}

}  // namespace

const char* const kForms = "/dev/parportN\ta parallel port through ppdev (or parportN)";
extern const Backend ppdevBackend{"ppdev", claimsText, openText, listPorts, checkText, kForms};

}  // namespace port
