// FTDI's D2XX library and the devices it lists. Windows installs the driver, and with it
// ftd2xx.dll in the system folder, when the adapter is first plugged in. The library is
// loaded at run time from that folder, by full path, so that no other folder can plant a
// DLL of that name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FtdiText.h"
#include "platform/windows/D2xxAbi.h"

namespace port::d2xx {

/// The library, loaded once; nullptr with `why` set when it cannot be.
const D2xx* library(std::string& why);

struct Device {
    DWORD index = 0;  // in D2XX's device list, for FT_Open
    ULONG flags = 0;
    ULONG type = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string serial;
    std::string description;

    std::string describe() const {
        std::string text = "FTDI " + ftdi_text::ids(vendor, product);
        return serial.empty() ? text : text + " serial " + serial;
    }
    bool opened() const { return (flags & FT_FLAGS_OPENED) != 0; }
    /// One of FTDI's own IDs and a chip with a bit-bang mode. D2XX tells the type of a
    /// device open in another program only once it is closed: until then, its IDs.
    bool bitBangs() const {
        return ftdi_text::isFtdiProduct(vendor, product) &&
               (opened() || type == FT_DEVICE_BM ||
                (type >= FT_DEVICE_2232C && type <= FT_DEVICE_X_SERIES));
    }
};

/// The devices that D2XX lists, in its order.
std::vector<Device> devices(const D2xx& d2xx);

}  // namespace port::d2xx
