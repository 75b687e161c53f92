// A USB FTDI adapter as the port on Windows, through FTDI's D2XX driver: the chip in
// asynchronous bit-bang mode, key data bits D0-D3 on its pins D0-D3, the only pins it
// drives. The driver's library is loaded at run time (platform/windows/D2xxLibrary.cpp),
// so a pmc10.exe without it still runs with every other port.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FtdiText.h"
#include "platform/Message.h"
#include "platform/PreciseSleep.h"
#include "platform/Signals.h"
#include "platform/windows/D2xxAbi.h"
#include "platform/windows/D2xxLibrary.h"
#include "port/Port.h"

namespace port {
namespace {

using d2xx::Device;
using d2xx::devices;
using d2xx::library;

// The pins pmc10 drives: D0-D3. The others stay inputs.
constexpr UCHAR kDataPins = 0x0F;
// How long the chip may take to accept one byte before the adapter counts as gone.
constexpr ULONG kWriteTimeoutMs = 1000;
// How long a stalled chip is offered the idle value before the run gives up on it (see
// platform/linux/FtdiPort.cpp).
constexpr std::int64_t kGiveUpMs = 30000;
// How often a run waiting for a busy adapter tries again.
constexpr int kBusyRetryMs = 50;

/// The device `selector` picks, or the reason why none.
bool find(const D2xx& d2xx, const ftdi_text::Selector& selector, Device& chosen, std::string& why) {
    using Kind = ftdi_text::Selector::Kind;
    unsigned seen = 0;
    for (const Device& device : devices(d2xx)) {
        const bool ids = device.vendor == selector.vendor && device.product == selector.product;
        if ((selector.kind == Kind::First && device.bitBangs()) ||
            (selector.kind == Kind::Serial && ids && device.serial == selector.serial) ||
            (selector.kind == Kind::Index && ids && seen++ == selector.index)) {
            chosen = device;
            return true;
        }
    }
    if (selector.kind == Kind::Serial) {
        why = "no FTDI adapter " + ftdi_text::ids(selector.vendor, selector.product) +
              " with serial number " + selector.serial + " is plugged in";
    } else if (selector.kind == Kind::Index) {
        why = "there is no adapter " + ftdi_text::ids(selector.vendor, selector.product) +
              " number " + std::to_string(selector.index) + " (" + std::to_string(seen) +
              " plugged in, counted from 0)";
    } else {
        why =
            "no FTDI adapter is plugged in (looked for 0403:6001, 6010, 6011, 6014 "
            "and 6015)";
    }
    return false;
}

class D2xxPort final : public Port {
  public:
    D2xxPort(const D2xx& d2xx, FT_HANDLE handle, std::string description)
        : d2xx_(d2xx), handle_(handle), description_(std::move(description)) {}
    ~D2xxPort() override { close(); }

    bool write(std::uint8_t byte) override {
        if (handle_ == nullptr || !failure_.empty()) {
            return false;
        }
        // FT_Write returns when the driver's write request has completed: the chip has
        // taken the byte over USB.
        unsigned char data = byte;
        DWORD written = 0;
        const std::int64_t start = precise_sleep::nowNanoseconds();
        const FT_STATUS status = d2xx_.write(handle_, &data, 1, &written);
        if (status == FT_OK && written == 1) {
            return true;
        }
        failure_ = "the adapter " + description_ +
                   (status == FT_OK ? idleAfterStall(start) : " was disconnected");
        return false;
    }
    void close() override {
        if (handle_ != nullptr) {
            d2xx_.close(handle_);
            handle_ = nullptr;
        }
    }
    std::string describe() const override { return description_; }
    std::string failure() const override { return failure_; }

  private:
    /// After a byte the chip did not take within a second: offers it the idle value until
    /// it takes it or is gone, for at most kGiveUpMs, and says which happened.
    std::string idleAfterStall(std::int64_t since) {
        for (;;) {
            unsigned char idle = kIdleByte;
            DWORD written = 0;
            const FT_STATUS status = d2xx_.write(handle_, &idle, 1, &written);
            const std::int64_t waited = precise_sleep::nowNanoseconds() - since;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(waited) / 1e9);
            if (status != FT_OK) {
                return std::string(" took no byte for ") + seconds + " s, then was disconnected";
            }
            if (written == 1) {
                return std::string(" took no byte for ") + seconds + " s; its lines are idle again";
            }
            if (waited >= kGiveUpMs * 1000000LL) {
                return " has taken no byte for " + std::to_string(kGiveUpMs / 1000) +
                       " s and may still hold a key: unplug it";
            }
        }
    }

    const D2xx& d2xx_;
    FT_HANDLE handle_;
    std::string description_;
    std::string failure_;
};

/// Bit-bang mode without a moment of a low data line: no outputs first, 0xFF into the
/// output latch (kept whatever the direction of a pin), then D0-D3 as outputs, which
/// therefore start high. Nothing is sent in UART mode, where a start bit is a low on TXD
/// (D0). See platform/linux/FtdiClaim.cpp for the same sequence through libftdi.
bool enterBitBang(const D2xx& d2xx, FT_HANDLE handle) {
    unsigned char idle = kIdleByte;
    DWORD written = 0;
    return d2xx.setTimeouts(handle, kWriteTimeoutMs, kWriteTimeoutMs) == FT_OK &&
           d2xx.setBitMode(handle, 0x00, FT_BITMODE_ASYNC_BITBANG) == FT_OK &&
           d2xx.write(handle, &idle, 1, &written) == FT_OK && written == 1 &&
           d2xx.setBitMode(handle, kDataPins, FT_BITMODE_ASYNC_BITBANG) == FT_OK;
}

void sayWaiting(const std::string& what) {
    static bool said = false;
    if (!said) {
        said = true;
        const std::string line = message(what + " is in use by another program; waiting for it");
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    }
}

void pause(int milliseconds) {
    const std::int64_t until =
        precise_sleep::nowNanoseconds() + static_cast<std::int64_t>(milliseconds) * 1000000;
    while (const signals::Event event = signals::waitUntil(until)) {
        signals::dispatch(event);
    }
}

std::string check(const std::string& text) {
    std::string why;
    const std::optional<ftdi_text::Selector> selector = ftdi_text::parse(text, why);
    if (!selector) {
        return why;
    }
    if (selector->kind == ftdi_text::Selector::Kind::BusDevice) {
        return "ftdi:d: names a USB bus and device on Linux; on Windows use ftdi, "
               "ftdi:s:VID:PID:SERIAL or ftdi:i:VID:PID[:INDEX]";
    }
    return {};
}

bool claims(const std::string& text) {
    return ftdi_text::claims(text);
}

OpenResult open(const std::string& text) {
    std::string why = check(text);
    if (!why.empty()) {
        return OpenResult::badText(why);
    }
    const std::optional<ftdi_text::Selector> selector = ftdi_text::parse(text, why);
    const D2xx* d2xx = library(why);
    if (d2xx == nullptr) {
        return OpenResult::unusable(why);
    }
    for (;;) {
        Device device;
        if (!find(*d2xx, *selector, device, why)) {
            return OpenResult::unusable(why);
        }
        if (!device.bitBangs()) {
            return OpenResult::unusable("the adapter " + device.describe() +
                                        " has a chip without a bit-bang mode (D2XX type " +
                                        std::to_string(device.type) + "); pmc10 leaves it alone");
        }
        FT_HANDLE handle = nullptr;
        FT_STATUS status = FT_DEVICE_NOT_OPENED;
        if (!device.opened()) {
            status = device.serial.empty() ? d2xx->open(static_cast<int>(device.index), &handle)
                                           : d2xx->openEx(const_cast<char*>(device.serial.c_str()),
                                                          FT_OPEN_BY_SERIAL_NUMBER, &handle);
        }
        if (status == FT_OK) {
            if (!enterBitBang(*d2xx, handle)) {
                d2xx->close(handle);
                return OpenResult::unusable("the adapter " + device.describe() +
                                            " did not enter bit-bang mode");
            }
            return OpenResult::opened(std::make_unique<D2xxPort>(*d2xx, handle, device.describe()));
        }
        if (status == FT_DEVICE_NOT_FOUND) {
            continue;  // unplugged since it was listed: look again, and say so then
        }
        if (status != FT_DEVICE_NOT_OPENED) {
            return OpenResult::unusable("cannot open the adapter " + device.describe() +
                                        " (D2XX status " + std::to_string(status) + ")");
        }
        // Open in another program: wait for it to let go.
        sayWaiting("the adapter " + device.describe());
        pause(kBusyRetryMs);
    }
}

void list(std::vector<PortInfo>& out) {
    std::string why;
    const D2xx* d2xx = library(why);
    if (d2xx == nullptr) {
        return;  // no D2XX driver: no FTDI adapter was ever installed here
    }
    for (const Device& device : devices(*d2xx)) {
        if (!ftdi_text::isFtdiProduct(device.vendor, device.product)) {
            continue;
        }
        PortInfo info;
        info.name = ftdi_text::selecting(device.vendor, device.product, device.serial, "ftdi");
        info.kind = "FTDI " + ftdi_text::ids(device.vendor, device.product);
        info.detail = device.description.empty() ? "(no description)" : device.description;
        info.detail += device.serial.empty() ? ", no serial number" : ", serial " + device.serial;
        info.usable = !device.opened() && device.bitBangs();
        if (device.opened()) {
            info.note = "open in another program";
        } else if (!info.usable) {
            info.note = "a chip without a bit-bang mode";
        }
        out.push_back(info);
    }
}

}  // namespace

const char* const kForms =
    "ftdi\tthe first USB FTDI adapter found\n"
    "ftdi:s:VID:PID:SERIAL\tthe FTDI adapter with that serial number\n"
    "ftdi:i:VID:PID:N\tthe Nth FTDI adapter (from 0) with VID:PID";
extern const Backend ftdiBackend{"ftdi", claims, open, list, check, kForms};

}  // namespace port
