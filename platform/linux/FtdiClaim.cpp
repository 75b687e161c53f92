#include "platform/linux/FtdiClaim.h"

#include <libusb.h>
#include <unistd.h>

#include <cerrno>

namespace port::ftdi {
namespace {

// The pins pmc10 drives: D0-D3. The others stay inputs.
constexpr unsigned char kDataPins = 0x0F;

/// libftdi's last error, or a placeholder where it has none (it leaves a null pointer).
std::string errorText(ftdi_context* ftdi) {
    const char* text = ftdi_get_error_string(ftdi);
    return text != nullptr ? text : "unknown libftdi error";
}

/// Puts the freshly opened chip in bit-bang mode without a moment of a low data line.
/// libftdi's open has reset the serial engine (UART mode: TXD idles high, no data sent)
/// and set the baud rate. Entering bit-bang mode with the pins D0-D3 as outputs at once
/// would drive them with whatever the output latch holds (0x00 on a fresh chip: every
/// key line low). So the chip enters bit-bang mode with no output at all (the pins are
/// inputs, held high by the chip's pull-ups, driven by nothing), takes 0xFF into its
/// output latch, which it keeps whatever the direction of a pin, and only then makes
/// D0-D3 outputs, which therefore start high. Serial data is never sent: in UART mode
/// each byte's start bit would be a low on TXD, that is on D0.
bool enterBitBang(ftdi_context* ftdi, std::string& why) {
    unsigned char idle = kIdleByte;
    if (ftdi_setflowctrl(ftdi, SIO_DISABLE_FLOW_CTRL) < 0 ||
        ftdi_set_bitmode(ftdi, 0x00, BITMODE_BITBANG) < 0 || ftdi_write_data(ftdi, &idle, 1) != 1 ||
        ftdi_set_bitmode(ftdi, kDataPins, BITMODE_BITBANG) < 0) {
        why = errorText(ftdi);
        return false;
    }
    return true;
}

/// What libftdi's own open would learn from the descriptor of `chip`: its type (the
/// baud-rate divisors differ), channel A on a chip with several, and the bulk packet
/// size. Before the device handle is set: libftdi changes no channel on an open device.
void prepare(ftdi_context* ftdi, ftdi_text::Chip chip) {
    using ftdi_text::Chip;
    static const struct {
        Chip chip;
        ftdi_chip_type type;
        bool channels;
        bool highSpeed;
    } types[] = {
        {Chip::BM, TYPE_BM, false, false},       {Chip::FT2232C, TYPE_2232C, true, false},
        {Chip::R, TYPE_R, false, false},         {Chip::FT2232H, TYPE_2232H, true, true},
        {Chip::FT4232H, TYPE_4232H, true, true}, {Chip::FT232H, TYPE_232H, false, true},
        {Chip::X, TYPE_230X, false, false},
    };
    for (const auto& each : types) {
        if (each.chip == chip) {
            if (each.channels) {
                ftdi_set_interface(ftdi, INTERFACE_A);
            }
            ftdi->type = each.type;
            ftdi->max_packet_size = each.highSpeed ? 512 : 64;
        }
    }
}

}  // namespace

Claim claim(int fd, const UsbDevice& device, ftdi_context*& opened, std::string& why) {
    ftdi_context* ftdi = ftdi_new();
    if (ftdi == nullptr) {
        ::close(fd);
        why = "libftdi cannot start (libusb failed)";
        return Claim::Failed;
    }
    // ftdi_free() also closes the libusb handle, which leaves the descriptor open.
    const auto undo = [&](Claim claim) {
        const bool gone = ::access(device.node().c_str(), F_OK) != 0 && errno == ENOENT;
        ftdi_free(ftdi);
        ::close(fd);
        return claim == Claim::Failed && gone ? Claim::Gone : claim;
    };
    libusb_device_handle* handle = nullptr;
    int result = libusb_wrap_sys_device(ftdi->usb_ctx, fd, &handle);
    if (result != 0) {
        why = "cannot open the adapter " + device.describe() + ": " + libusb_error_name(result);
        return undo(Claim::Failed);
    }
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(libusb_get_device(handle), &descriptor);
    const ftdi_text::Chip chip =
        ftdi_text::chipOf(descriptor.idVendor, descriptor.idProduct, descriptor.bcdDevice,
                          descriptor.iSerialNumber != 0);
    if (chip == ftdi_text::Chip::None) {
        // Another device took this number since sysfs was read: still nothing claimed.
        UsbDevice found = device;
        found.vendor = descriptor.idVendor;
        found.product = descriptor.idProduct;
        found.release = descriptor.bcdDevice;
        why = leftAlone(found);
        libusb_close(handle);
        return undo(Claim::Failed);
    }
    prepare(ftdi, chip);
    ftdi_set_usbdev(ftdi, handle);
    // Claiming takes the interface from ftdi_sio and never from another program;
    // releasing it gives it back to ftdi_sio.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    result = libusb_claim_interface(handle, ftdi->interface);
    if (result == LIBUSB_ERROR_BUSY) {
        return undo(Claim::Busy);
    }
    if (result != 0) {
        why = result == LIBUSB_ERROR_ACCESS
                  ? "no permission to use the adapter " + device.describe() + ": " + kUdevHint
                  : "cannot claim the adapter " + device.describe() + ": " +
                        libusb_error_name(result);
        return undo(Claim::Failed);
    }
    if (ftdi_usb_reset(ftdi) < 0 || ftdi_set_baudrate(ftdi, 9600) < 0 || !enterBitBang(ftdi, why)) {
        why =
            "the adapter " + device.describe() + " did not enter bit-bang mode: " + errorText(ftdi);
        ftdi_usb_close(ftdi);
        return undo(Claim::Failed);
    }
    opened = ftdi;
    return Claim::Opened;
}

}  // namespace port::ftdi
