// A USB FTDI adapter as the port, through libftdi: the chip in asynchronous bit-bang mode,
// key data bits D0-D3 on its pins D0-D3 (on an FT232R: TXD, RXD, RTS#, CTS#), which are the
// only pins it drives. Each write() is one synchronous bulk transfer of one byte, so it
// returns once the chip has the byte and has put it on the pins. The transfer is one
// ioctl on the usbfs node, which this file opens itself and hands to libusb, so that a
// crash handler can put the idle value on the pins with that same single call.
//
// The adapters are found in sysfs, which anyone may read, so a text is matched (serial
// numbers included) without opening any device; only the chosen one is opened, and only
// when its descriptor (IDs and release number) is one of the FTDI chips that have a
// bit-bang mode: any other device is never claimed nor taken from its driver. libusb
// takes the interface from the kernel's ftdi_sio driver while pmc10 holds it and hands it
// back when the interface is released, also on every failure after the claim, so the
// adapter is a serial port again after the run. The chip stays in bit-bang mode
// with D0-D3 driven high until something resets it: leaving it there keeps every key
// released, where falling back to UART mode would leave RTS# (D2) to whatever the modem
// control lines last were.
//
// Without libftdi1 at build time the backend still takes the "ftdi" texts and lists the
// adapters, and says that this build cannot drive them.
#include <dirent.h>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

#include "platform/PreciseSleep.h"
#include "platform/linux/BusyWait.h"
#endif

namespace port {
namespace {

const char* const kSysfsDevices = "/sys/bus/usb/devices";

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

std::string check(const std::string& text) {
    std::string why;
    return ftdi_text::parse(text, why) ? std::string() : why;
}

bool claims(const std::string& text) {
    return ftdi_text::claims(text);
}

#if defined(PMC10_HAVE_LIBFTDI)

/// Why a device that is not a chip this backend drives is refused, untouched.
std::string leftAlone(const UsbDevice& device) {
    std::string what = ftdi_text::ids(device.vendor, device.product);
    char release[16];
    std::snprintf(release, sizeof release, "%04x", device.release);
    what += device.productName.empty() ? "" : " \"" + device.productName + "\"";
    return "USB " + device.busDevice() + " is " + what + " release " + release +
           ", not an FTDI chip with a bit-bang mode; pmc10 leaves it alone";
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

const char* const kUdevHint =
    "install dist/60-pmc10-ftdi.rules in /etc/udev/rules.d, add your user to the group "
    "plugdev, then plug the adapter in again";

/// The device `selector` picks among those present, or the reason why none.
/// Only a chip this backend drives is picked: any other device is refused, untouched.
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

// The pins pmc10 drives: D0-D3. The others stay inputs.
constexpr unsigned char kDataPins = 0x0F;
// How long the chip may take to accept one byte before it counts as stalled.
constexpr unsigned kWriteTimeoutMs = 1000;
// How long a stalled chip is offered the idle value before the run gives up on it. A
// working adapter is back within a few seconds (the kernel allows a device 5 s for a
// control request); the signals that would end the run wait meanwhile, and unplugging
// the adapter, which also lets go of the key lines, ends the wait at once.
constexpr std::int64_t kGiveUpMs = 30000;
// How often a run waiting for a busy adapter tries again.
constexpr int kBusyRetryMs = 50;

class FtdiPort final : public Port {
  public:
    FtdiPort(ftdi_context* ftdi, int fd, std::string description)
        : ftdi_(ftdi),
          fd_(fd),
          endpoint_(static_cast<unsigned>(ftdi->in_ep)),
          interface_(static_cast<unsigned>(ftdi->interface)),
          description_(std::move(description)) {}
    ~FtdiPort() override { close(); }

    bool write(std::uint8_t byte) override {
        if (fd_.load() < 0 || failed_.load()) {
            return false;
        }
        const std::int64_t start = precise_sleep::nowNanoseconds();
        const int error = offer(byte);
        if (error == 0) {
            return true;
        }
        failed_.store(true);
        failure_ = say(error, idleAfter(error), start);
        return false;
    }

    // On the way out: the idle value, then the interface back to ftdi_sio, as close()
    // would give it, since a crash never reaches close().
    bool emergencyIdle() noexcept override {
        const int saved = errno;
        const int fd = fd_.load();
        bool idle = false;
        if (fd >= 0 && !failed_.load()) {
            const int error = offer(kIdleByte);
            idle = error == 0 || idleAfter(error) == Outcome::Idle;
            failed_.store(true);  // no further writes
            unsigned interface = interface_;
            usbdevfs_ioctl attach{};
            attach.ifno = static_cast<int>(interface_);
            attach.ioctl_code = USBDEVFS_CONNECT;
            ioctl(fd, USBDEVFS_RELEASEINTERFACE, &interface);
            ioctl(fd, USBDEVFS_IOCTL, &attach);
        }
        errno = saved;
        return idle;
    }

    void close() override {
        const int fd = fd_.exchange(-1);
        if (ftdi_ != nullptr) {
            // Releasing the interface gives it back to ftdi_sio (see the top of the file).
            ftdi_usb_close(ftdi_);
            ftdi_free(ftdi_);
            ftdi_ = nullptr;
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

    std::string describe() const override { return description_; }
    std::string failure() const override { return failure_; }

  private:
    enum class Outcome { Idle, Gone, Stuck };

    /// One bulk transfer of `byte`, on the descriptor whose interface is claimed: 0 once
    /// the chip has it (and has put it on the pins), else the errno. Async-signal-safe.
    int offer(std::uint8_t byte) noexcept {
        unsigned char data = byte;
        usbdevfs_bulktransfer bulk{};
        bulk.ep = endpoint_;
        bulk.len = 1;
        bulk.timeout = kWriteTimeoutMs;
        bulk.data = &data;
        const int sent = ioctl(fd_.load(), USBDEVFS_BULK, &bulk);
        return sent == 1 ? 0 : sent < 0 ? errno : EIO;
    }

    /// After a byte the chip did not take: offers it the idle value until it takes it or
    /// is gone, for at most kGiveUpMs. Async-signal-safe.
    Outcome idleAfter(int error) noexcept {
        const std::int64_t deadline = precise_sleep::nowNanoseconds() + kGiveUpMs * 1000000;
        for (;;) {
            if (error == ENODEV || error == ESHUTDOWN) {
                return Outcome::Gone;
            }
            if (precise_sleep::nowNanoseconds() >= deadline) {
                return Outcome::Stuck;
            }
            if (error == EPIPE) {
                unsigned endpoint = endpoint_;
                ioctl(fd_.load(), USBDEVFS_CLEAR_HALT, &endpoint);
            } else if (error != ETIMEDOUT) {
                const timespec pause{0, 10000000};  // an error at once: do not spin
                nanosleep(&pause, nullptr);
            }
            error = offer(kIdleByte);
            if (error == 0) {
                return Outcome::Idle;
            }
        }
    }

    /// The line for a byte refused with `error`, and what became of the lines.
    std::string say(int error, Outcome outcome, std::int64_t since) const {
        const std::string adapter = "the adapter " + description_;
        if (outcome == Outcome::Gone && error != ETIMEDOUT) {
            return adapter + " was disconnected";
        }
        if (outcome == Outcome::Stuck) {
            return adapter + " has taken no byte for " + std::to_string(kGiveUpMs / 1000) +
                   " s and may still hold a key: unplug it";
        }
        char what[64];
        if (error == ETIMEDOUT) {
            std::snprintf(what, sizeof what, " took no byte for %.1f s",
                          static_cast<double>(precise_sleep::nowNanoseconds() - since) / 1e9);
        } else {
            std::snprintf(what, sizeof what, " refused a byte (%s)", std::strerror(error));
        }
        return adapter + what +
               (outcome == Outcome::Idle ? "; its lines are idle again"
                                         : ", then was disconnected");
    }

    ftdi_context* ftdi_;
    // The usbfs node, opened here and handed to libusb: the crash path writes on it.
    std::atomic<int> fd_;
    unsigned endpoint_;   // bulk OUT: the pins
    unsigned interface_;  // claimed from ftdi_sio
    std::string description_;
    std::atomic<bool> failed_{false};
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

enum class Claim { Opened, Gone, Busy, Failed };

/// Hands the usbfs node `fd`, opened for `device`, to libusb and libftdi; checks from its
/// own descriptor that it is a chip this backend drives before anything else; takes the
/// interface from ftdi_sio and puts the chip in bit-bang mode. On anything but Opened,
/// all is undone (ftdi_sio has the interface back) and `fd` is closed; for Failed, `why`
/// says why.
Claim claim(int fd, const UsbDevice& device, std::unique_ptr<Port>& port, std::string& why) {
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
    port = std::make_unique<FtdiPort>(ftdi, fd, device.describe());
    return Claim::Opened;
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
        const int fd = ::open(device.node().c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && (errno == ENOENT || errno == ENODEV)) {
            continue;  // unplugged since it was found: look again, and say so then
        }
        if (fd < 0) {
            return OpenResult::unusable(
                errno == EACCES || errno == EPERM
                    ? "no permission to use the adapter " + device.describe() + ": " + kUdevHint
                    : "cannot open the adapter " + device.describe() + ": " + std::strerror(errno));
        }
        std::unique_ptr<Port> port;
        switch (claim(fd, device, port, why)) {
            case Claim::Opened:
                return OpenResult::opened(std::move(port));
            case Claim::Gone:
                continue;  // unplugged while being claimed: look again, and say so then
            case Claim::Busy:
                // Another run holds the interface: wait for it to let go.
                busy_wait::sayWaiting("the adapter " + device.describe());
                busy_wait::pause(kBusyRetryMs);
                continue;
            case Claim::Failed:
                return OpenResult::unusable(why);
        }
    }
}

#else

OpenResult open(const std::string& text) {
    std::string why;
    if (!ftdi_text::parse(text, why)) {
        return OpenResult::badText(why);
    }
    return OpenResult::unusable(
        "this pmc10 was built without libftdi1, so it cannot use FTDI adapters; "
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

}  // namespace

const char* const kForms =
    "ftdi\tthe first USB FTDI adapter found\n"
    "ftdi:s:VID:PID:SERIAL\tthe FTDI adapter with that serial number\n"
    "ftdi:i:VID:PID:N\tthe Nth FTDI adapter (from 0) with VID:PID\n"
    "ftdi:d:BUS/DEV\tthe FTDI adapter at that USB bus and device";
extern const Backend ftdiBackend{"ftdi", claims, open, list, check, kForms};

}  // namespace port
