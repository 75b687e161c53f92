// The USB devices plugged in, as sysfs shows them to anyone: which FTDI adapter a PORT
// text picks, and the listing of the adapters, without opening any device.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/FtdiText.h"
#include "port/Port.h"

namespace port::ftdi {

/// One USB device seen in sysfs.
struct UsbDevice {
    unsigned bus = 0;
    unsigned device = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t release = 0;  // bcdDevice
    bool hasSerial = false;
    std::string serial;
    std::string productName;

    ftdi_text::Chip chip() const { return ftdi_text::chipOf(vendor, product, release, hasSerial); }

    /// Its node in /dev/bus/usb, which libusb opens.
    std::string node() const {
        char path[32];
        std::snprintf(path, sizeof path, "/dev/bus/usb/%03u/%03u", bus, device);
        return path;
    }
    std::string busDevice() const {
        char text[16];
        std::snprintf(text, sizeof text, "%03u/%03u", bus, device);
        return text;
    }
    /// "FTDI 0403:6001 serial A10PMC01 (USB 001/004)", for messages.
    std::string describe() const {
        std::string text = "FTDI " + ftdi_text::ids(vendor, product);
        if (!serial.empty()) {
            text += " serial " + serial;
        }
        return text + " (USB " + busDevice() + ")";
    }
    bool accessible() const { return ::access(node().c_str(), R_OK | W_OK) == 0; }
};

/// What to do about an adapter this user may not open.
extern const char* const kUdevHint;

/// Why a device that is not a chip this backend drives is refused, untouched.
std::string leftAlone(const UsbDevice& device);

/// The device `selector` picks among those present, or the reason why none.
/// Only a chip this backend drives is picked: any other device is refused, untouched.
bool find(const ftdi_text::Selector& selector, UsbDevice& chosen, std::string& why);

/// Appends the adapters with one of FTDI's own IDs, usable or not, to the port listing.
void list(std::vector<PortInfo>& out);

}  // namespace port::ftdi
