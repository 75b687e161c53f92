// The adapters are found in sysfs, which anyone may read, so a text is matched (serial
// numbers included) without opening any device; only the chosen one is opened, and only
// when its descriptor (IDs and release number) is one of the FTDI chips that have a
// bit-bang mode: any other device is never claimed nor taken from its driver.
#include "platform/linux/FtdiDevices.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace port::ftdi {
namespace {

const char* const kSysfsDevices = "/sys/bus/usb/devices";

std::string readLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

/// A string from a device, as it may be shown on a terminal: control characters as '?'.
std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

bool readHex(const std::string& path, std::uint16_t& value) {
    const std::string text = readLine(path);
    if (text.empty()) {
        return false;
    }
    value = static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
    return true;
}

/// Every USB device (not interface) in sysfs, in bus and device-number order.
std::vector<UsbDevice> usbDevices() {
    std::vector<UsbDevice> found;
    DIR* dir = opendir(kSysfsDevices);
    if (dir == nullptr) {
        return found;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string base = std::string(kSysfsDevices) + "/" + entry->d_name;
        UsbDevice device;
        if (entry->d_name[0] == '.' || !readHex(base + "/idVendor", device.vendor) ||
            !readHex(base + "/idProduct", device.product)) {
            continue;
        }
        device.bus = static_cast<unsigned>(std::atoi(readLine(base + "/busnum").c_str()));
        device.device = static_cast<unsigned>(std::atoi(readLine(base + "/devnum").c_str()));
        readHex(base + "/bcdDevice", device.release);
        device.hasSerial = ::access((base + "/serial").c_str(), F_OK) == 0;
        device.serial = printable(readLine(base + "/serial"));
        device.productName = printable(readLine(base + "/product"));
        found.push_back(device);
    }
    closedir(dir);
    std::sort(found.begin(), found.end(), [](const UsbDevice& a, const UsbDevice& b) {
        return a.bus != b.bus ? a.bus < b.bus : a.device < b.device;
    });
    return found;
}

/// The device `selector` names, whatever it is.
bool pick(const ftdi_text::Selector& selector, UsbDevice& chosen, std::string& why) {
    using Kind = ftdi_text::Selector::Kind;
    unsigned seen = 0;
    for (const UsbDevice& device : usbDevices()) {
        switch (selector.kind) {
            case Kind::First:
                if (device.chip() != ftdi_text::Chip::None) {
                    chosen = device;
                    return true;
                }
                break;
            case Kind::Serial:
                if (device.vendor == selector.vendor && device.product == selector.product &&
                    device.serial == selector.serial) {
                    chosen = device;
                    return true;
                }
                break;
            case Kind::Index:
                if (device.vendor == selector.vendor && device.product == selector.product &&
                    seen++ == selector.index) {
                    chosen = device;
                    return true;
                }
                break;
            case Kind::BusDevice:
                if (device.bus == selector.bus && device.device == selector.device) {
                    chosen = device;
                    return true;
                }
                break;
        }
    }
    switch (selector.kind) {
        case Kind::First:
            why =
                "no FTDI adapter is plugged in (looked for 0403:6001, 6010, 6011, 6014 "
                "and 6015)";
            break;
        case Kind::Serial:
            why = "no FTDI adapter " + ftdi_text::ids(selector.vendor, selector.product) +
                  " with serial number " + selector.serial + " is plugged in";
            break;
        case Kind::Index:
            why = "there is no adapter " + ftdi_text::ids(selector.vendor, selector.product) +
                  " number " + std::to_string(selector.index) + " (" + std::to_string(seen) +
                  " plugged in, counted from 0)";
            break;
        case Kind::BusDevice:
            why = "there is no USB device " + std::to_string(selector.bus) + "/" +
                  std::to_string(selector.device);
            break;
    }
    return false;
}

}  // namespace

const char* const kUdevHint =
    "install dist/60-pmc10-ftdi.rules in /etc/udev/rules.d, add your user to the group "
    "plugdev, then plug the adapter in again";

std::string leftAlone(const UsbDevice& device) {
    std::string what = ftdi_text::ids(device.vendor, device.product);
    char release[16];
    std::snprintf(release, sizeof release, "%04x", device.release);
    what += device.productName.empty() ? "" : " \"" + device.productName + "\"";
    return "USB " + device.busDevice() + " is " + what + " release " + release +
           ", not an FTDI chip with a bit-bang mode; pmc10 leaves it alone";
}

bool find(const ftdi_text::Selector& selector, UsbDevice& chosen, std::string& why) {
    if (!pick(selector, chosen, why)) {
        return false;
    }
    if (chosen.chip() == ftdi_text::Chip::None) {
        why = leftAlone(chosen);
        return false;
    }
    return true;
}

void list(std::vector<PortInfo>& out) {
    for (const UsbDevice& device : usbDevices()) {
        if (!ftdi_text::isFtdiProduct(device.vendor, device.product)) {
            continue;
        }
        PortInfo info;
        info.name = ftdi_text::selecting(device.vendor, device.product, device.serial,
                                         "ftdi:d:" + device.busDevice());
        info.kind = "FTDI " + ftdi_text::ids(device.vendor, device.product);
        info.detail = device.productName.empty() ? "(no product name)" : device.productName;
        info.detail += device.serial.empty() ? ", no serial number" : ", serial " + device.serial;
        info.detail += ", USB " + device.busDevice();
#if defined(PMC10_HAVE_LIBFTDI)
        const bool bitBang = device.chip() != ftdi_text::Chip::None;
        info.usable = bitBang && device.accessible();
        if (!bitBang) {
            char release[48];
            std::snprintf(release, sizeof release, "release %04x: a chip without a bit-bang mode",
                          device.release);
            info.note = release;
        } else if (!info.usable) {
            info.note = "no permission on " + device.node() + ": " + kUdevHint;
        }
#else
        info.note = "this pmc10 was built without libftdi1";
#endif
        out.push_back(info);
    }
}

}  // namespace port::ftdi
