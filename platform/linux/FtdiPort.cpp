// A USB FTDI adapter as the port, through libftdi: the chip in asynchronous bit-bang mode,
// key data bits D0-D3 on its pins D0-D3 (on an FT232R: TXD, RXD, RTS#, CTS#), which are the
// only pins it drives. Each write() is one synchronous bulk transfer of one byte, so it
// returns once the chip has the byte and has put it on the pins.
//
// The adapters are found in sysfs, which anyone may read, so a text is matched (serial
// numbers included) without opening any device; only the chosen one is opened. libftdi
// takes the interface from the kernel's ftdi_sio driver while pmc10 holds it, and libusb
// hands it back when the interface is released (libftdi's "detach and re-attach" mode),
// so the adapter is a serial port again after the run. The chip stays in bit-bang mode
// with D0-D3 driven high until something resets it: leaving it there keeps every key
// released, where falling back to UART mode would leave RTS# (D2) to whatever the modem
// control lines last were.
//
// Without libftdi1 at build time the backend still takes the "ftdi" texts and lists the
// adapters, and says that this build cannot drive them.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FtdiText.h"
#include "port/Port.h"

#if defined(PMC10_HAVE_LIBFTDI)
#include <ftdi.h>
#include <libusb.h>

#include "platform/linux/BusyWait.h"
#endif

namespace port {
namespace {

const char* const kSysfsDevices = "/sys/bus/usb/devices";
const char* const kUdevHint =
    "install dist/60-pmc10-ftdi.rules in /etc/udev/rules.d, add your user to the group "
    "plugdev, then plug the adapter in again";

/// One USB device seen in sysfs.
struct UsbDevice {
    unsigned bus = 0;
    unsigned device = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string serial;
    std::string productName;

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

std::string readLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
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
        device.serial = readLine(base + "/serial");
        device.productName = readLine(base + "/product");
        found.push_back(device);
    }
    closedir(dir);
    std::sort(found.begin(), found.end(), [](const UsbDevice& a, const UsbDevice& b) {
        return a.bus != b.bus ? a.bus < b.bus : a.device < b.device;
    });
    return found;
}

/// The device `selector` picks among those present, or a "pmc10: " line saying why none.
bool find(const ftdi_text::Selector& selector, UsbDevice& chosen, std::string& why) {
    using Kind = ftdi_text::Selector::Kind;
    unsigned seen = 0;
    for (const UsbDevice& device : usbDevices()) {
        switch (selector.kind) {
            case Kind::First:
                if (ftdi_text::isFtdiProduct(device.vendor, device.product)) {
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
                "pmc10: no FTDI adapter is plugged in (looked for 0403:6001, 6010, 6011, 6014 "
                "and 6015)";
            break;
        case Kind::Serial:
            why = "pmc10: no FTDI adapter " + ftdi_text::ids(selector.vendor, selector.product) +
                  " with serial number " + selector.serial + " is plugged in";
            break;
        case Kind::Index:
            why = "pmc10: there is no adapter " +
                  ftdi_text::ids(selector.vendor, selector.product) + " number " +
                  std::to_string(selector.index) + " (" + std::to_string(seen) +
                  " plugged in, counted from 0)";
            break;
        case Kind::BusDevice:
            why = "pmc10: there is no USB device " + std::to_string(selector.bus) + "/" +
                  std::to_string(selector.device);
            break;
    }
    return false;
}

std::string check(const std::string& text) {
    std::string why;
    return ftdi_text::parse(text, why) ? std::string() : why;
}

bool claims(const std::string& text) {
    return ftdi_text::claims(text);
}

#if defined(PMC10_HAVE_LIBFTDI)

// The pins pmc10 drives: D0-D3. The others stay inputs.
constexpr unsigned char kDataPins = 0x0F;
// How long the chip may take to accept one byte before the adapter counts as gone.
constexpr int kWriteTimeoutMs = 1000;
// How often a run waiting for a busy adapter tries again.
constexpr int kBusyRetryMs = 50;

class FtdiPort final : public Port {
  public:
    FtdiPort(ftdi_context* ftdi, std::string description)
        : ftdi_(ftdi), description_(std::move(description)) {}
    ~FtdiPort() override { close(); }

    bool write(std::uint8_t byte) override {
        if (ftdi_ == nullptr || !failure_.empty()) {
            return false;
        }
        // One bulk transfer, as ftdi_write_data() makes, but with libusb's own error, so
        // that an unplugged adapter is told from one that stopped answering.
        unsigned char data = byte;
        int sent = 0;
        const int result =
            libusb_bulk_transfer(ftdi_->usb_dev, static_cast<unsigned char>(ftdi_->in_ep), &data, 1,
                                 &sent, kWriteTimeoutMs);
        if (result == 0 && sent == 1) {
            return true;
        }
        if (result == LIBUSB_ERROR_NO_DEVICE || result == LIBUSB_ERROR_IO) {
            failure_ = "pmc10: the adapter " + description_ + " was disconnected";
        } else {
            failure_ = "pmc10: the adapter " + description_ + " did not take a byte (" +
                       libusb_error_name(result) + ")";
        }
        return false;
    }

    void close() override {
        if (ftdi_ != nullptr) {
            // Releasing the interface gives it back to ftdi_sio (see the top of the file).
            ftdi_usb_close(ftdi_);
            ftdi_free(ftdi_);
            ftdi_ = nullptr;
        }
    }

    std::string describe() const override { return description_; }
    std::string failure() const override { return failure_; }

  private:
    ftdi_context* ftdi_;
    std::string description_;
    std::string failure_;
};

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

/// The libusb device at the bus and address of `device`, from `ftdi`'s own context.
libusb_device* usbDevice(ftdi_context* ftdi, const UsbDevice& device) {
    libusb_device** all = nullptr;
    libusb_device* found = nullptr;
    if (libusb_get_device_list(ftdi->usb_ctx, &all) < 0) {
        return nullptr;
    }
    for (libusb_device** each = all; *each != nullptr; ++each) {
        if (libusb_get_bus_number(*each) == device.bus &&
            libusb_get_device_address(*each) == device.device) {
            found = libusb_ref_device(*each);
            break;
        }
    }
    libusb_free_device_list(all, 1);
    return found;
}

OpenResult open(const std::string& text) {
    std::string why;
    const std::optional<ftdi_text::Selector> selector = ftdi_text::parse(text, why);
    if (!selector) {
        return OpenResult::badText(why);
    }
    for (;;) {
        UsbDevice device;
        if (!find(*selector, device, why)) {
            return OpenResult::unusable(why);
        }
        if (!device.accessible() && errno == EACCES) {
            return OpenResult::unusable("pmc10: no permission to use the adapter " +
                                        device.describe() + ": " + kUdevHint);
        }
        ftdi_context* ftdi = ftdi_new();
        if (ftdi == nullptr) {
            return OpenResult::unusable("pmc10: libftdi cannot start (libusb failed)");
        }
        ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
        ftdi->usb_write_timeout = kWriteTimeoutMs;
        libusb_device* usb = usbDevice(ftdi, device);
        const int result = usb != nullptr ? ftdi_usb_open_dev(ftdi, usb) : -3;
        if (usb != nullptr) {
            libusb_unref_device(usb);
        }
        if (result == 0) {
            if (!enterBitBang(ftdi, why)) {
                ftdi_usb_close(ftdi);
                ftdi_free(ftdi);
                return OpenResult::unusable("pmc10: the adapter " + device.describe() +
                                            " did not enter bit-bang mode: " + why);
            }
            return OpenResult::opened(std::make_unique<FtdiPort>(ftdi, device.describe()));
        }
        why = errorText(ftdi);
        ftdi_free(ftdi);
        if (result == -5 && !device.accessible() && errno == ENOENT) {
            continue;  // unplugged while being claimed: look again, and say so then
        }
        if (result == -5) {
            // Another process holds the interface (libusb takes it only from a kernel
            // driver, never from another program): wait for it to let go.
            busy_wait::sayWaiting("the adapter " + device.describe());
            busy_wait::pause(kBusyRetryMs);
            continue;
        }
        if (result == -3 || (result == -4 && !device.accessible() && errno == ENOENT)) {
            continue;  // unplugged since it was found: look again, and say so then
        }
        if (result == -4 && !device.accessible() && errno == EACCES) {
            return OpenResult::unusable("pmc10: no permission to use the adapter " +
                                        device.describe() + ": " + kUdevHint);
        }
        return OpenResult::unusable("pmc10: cannot open the adapter " + device.describe() + ": " +
                                    why);
    }
}

#else

OpenResult open(const std::string& text) {
    std::string why;
    if (!ftdi_text::parse(text, why)) {
        return OpenResult::badText(why);
    }
    return OpenResult::unusable(
        "pmc10: this pmc10 was built without libftdi1, so it cannot use FTDI adapters; "
        "rebuild it with libftdi1-dev installed");
}

#endif

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
        info.usable = device.accessible();
        if (!info.usable) {
            info.note = "no permission on " + device.node() + ": " + kUdevHint;
        }
#else
        info.note = "this pmc10 was built without libftdi1";
#endif
        out.push_back(info);
    }
}

}  // namespace

const char* const kForms =
    "ftdi\tthe first USB FTDI adapter found\n"
    "ftdi:s:VID:PID:SERIAL\tthe FTDI adapter with that serial number\n"
    "ftdi:i:VID:PID:N\tthe Nth FTDI adapter (from 0) with VID:PID\n"
    "ftdi:d:BUS/DEV\tthe FTDI adapter at that USB bus and device";
extern const Backend ftdiBackend{"ftdi", claims, open, list, check, kForms};

}  // namespace port
