// A USB FTDI adapter as the port, through libftdi: the chip in asynchronous bit-bang mode,
// key data bits D0-D3 on its pins D0-D3 (on an FT232R: TXD, RXD, RTS#, CTS#), which are the
// only pins it drives. Each write() is one synchronous bulk transfer of one byte, so it
// returns once the chip has the byte and has put it on the pins. The transfer is one
// ioctl on the usbfs node, which this file opens itself and hands to libusb, so that a
// crash handler can put the idle value on the pins with that same single call.
//
// An adapter is chosen from what sysfs says of it (platform/linux/FtdiDevices.cpp), and
// only a chip with a bit-bang mode is ever opened (platform/linux/FtdiClaim.cpp). libusb
// takes the interface from the kernel's ftdi_sio driver while pmc10 holds it and hands it
// back when the interface is released, also on every failure after the claim, so the
// adapter is a serial port again after the run. The chip stays in bit-bang mode
// with D0-D3 driven high until something resets it: leaving it there keeps every key
// released, where falling back to UART mode would leave RTS# (D2) to whatever the modem
// control lines last were.
//
// Without libftdi1 at build time the backend still takes the "ftdi" texts and lists the
// adapters, and says that this build cannot drive them.
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FtdiText.h"
#include "platform/linux/FtdiDevices.h"
#include "port/Port.h"

#if defined(PMC10_HAVE_LIBFTDI)
#include <ftdi.h>

#include "platform/PreciseSleep.h"
#include "platform/linux/BusyWait.h"
#include "platform/linux/FtdiClaim.h"
#endif

namespace port {
namespace {

std::string check(const std::string& text) {
    std::string why;
    return ftdi_text::parse(text, why) ? std::string() : why;
}

bool claims(const std::string& text) {
    return ftdi_text::claims(text);
}

#if defined(PMC10_HAVE_LIBFTDI)

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

OpenResult open(const std::string& text) {
    std::string why;
    const std::optional<ftdi_text::Selector> selector = ftdi_text::parse(text, why);
    if (!selector) {
        return OpenResult::badText(why);
    }
    for (;;) {
        ftdi::UsbDevice device;
        if (!ftdi::find(*selector, device, why)) {
            return OpenResult::unusable(why);
        }
        const int fd = ::open(device.node().c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && (errno == ENOENT || errno == ENODEV)) {
            continue;  // unplugged since it was found: look again, and say so then
        }
        if (fd < 0) {
            return OpenResult::unusable(errno == EACCES || errno == EPERM
                                            ? "no permission to use the adapter " +
                                                  device.describe() + ": " + ftdi::kUdevHint
                                            : "cannot open the adapter " + device.describe() +
                                                  ": " + std::strerror(errno));
        }
        ftdi_context* opened = nullptr;
        switch (ftdi::claim(fd, device, opened, why)) {
            case ftdi::Claim::Opened:
                return OpenResult::opened(
                    std::make_unique<FtdiPort>(opened, fd, device.describe()));
            case ftdi::Claim::Gone:
                continue;  // unplugged while being claimed: look again, and say so then
            case ftdi::Claim::Busy:
                // Another run holds the interface: wait for it to let go.
                busy_wait::sayWaiting("the adapter " + device.describe());
                busy_wait::pause(kBusyRetryMs);
                continue;
            case ftdi::Claim::Failed:
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

}  // namespace

const char* const kForms =
    "ftdi\tthe first USB FTDI adapter found\n"
    "ftdi:s:VID:PID:SERIAL\tthe FTDI adapter with that serial number\n"
    "ftdi:i:VID:PID:N\tthe Nth FTDI adapter (from 0) with VID:PID\n"
    "ftdi:d:BUS/DEV\tthe FTDI adapter at that USB bus and device";
extern const Backend ftdiBackend{"ftdi", claims, open, ftdi::list, check, kForms};

}  // namespace port
