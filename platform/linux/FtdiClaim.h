// Taking a USB FTDI adapter for the run: its usbfs node handed to libusb and libftdi, the
// interface taken from the kernel's ftdi_sio driver, and the chip put in bit-bang mode
// without a moment of a low data line.
#pragma once

#include <ftdi.h>

#include <string>

#include "platform/linux/FtdiDevices.h"

namespace port::ftdi {

enum class Claim { Opened, Gone, Busy, Failed };

/// Hands the usbfs node `fd`, opened for `device`, to libusb and libftdi; checks from its
/// own descriptor that it is a chip this backend drives before anything else; takes the
/// interface from ftdi_sio and puts the chip in bit-bang mode. On Opened, `opened` is the
/// libftdi context, which holds the interface until it is closed; on anything else, all
/// is undone (ftdi_sio has the interface back) and `fd` is closed; for Failed, `why` says
/// why.
Claim claim(int fd, const UsbDevice& device, ftdi_context*& opened, std::string& why);

}  // namespace port::ftdi
