#include "platform/linux/DeviceNode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace device_node {

std::string sysfsFolder(dev_t device) {
    return "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

namespace {

bool inSubsystem(dev_t device, const std::string& subsystem) {
    const std::string link = sysfsFolder(device) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    const std::string path(target, static_cast<std::size_t>(length));
    return path.substr(path.rfind('/') + 1) == subsystem;
}

}  // namespace

int openOf(const std::string& path, const char* subsystem, int flags, dev_t* device) {
    struct stat node {};
    if (stat(path.c_str(), &node) != 0) {
        return -1;
    }
    if (!S_ISCHR(node.st_mode) || !inSubsystem(node.st_rdev, subsystem)) {
        errno = ENOTTY;
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | flags);
    struct stat opened {};
    if (fd >= 0 && (fstat(fd, &opened) != 0 || opened.st_rdev != node.st_rdev)) {
        ::close(fd);  // replaced between the check and the open
        errno = ENOTTY;
        return -1;
    }
    if (device != nullptr) {
        *device = node.st_rdev;
    }
    return fd;
}

}  // namespace device_node
