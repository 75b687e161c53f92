// Device nodes named by the user, checked for what they are before they are opened:
// opening some devices acts by itself (a watchdog arms, a terminal becomes the
// controlling one), so a path must prove its kind through sysfs first.
#pragma once

#include <sys/types.h>

#include <string>

namespace device_node {

/// The sysfs folder of the character device `device`: "/sys/dev/char/MAJOR:MINOR".
std::string sysfsFolder(dev_t device);

/// Opens `path` read-write (plus `flags`) only when it is a character device of the
/// kernel subsystem `subsystem` ("gpio", "hidraw"), checked before the open and again on
/// the open descriptor. -1 with errno set on failure: ENOTTY when the path is something
/// else. `device`, when given, receives the node's device number.
int openOf(const std::string& path, const char* subsystem, int flags, dev_t* device = nullptr);

}  // namespace device_node
