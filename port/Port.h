// The port the foot controller's cable hangs on, whatever it is: a parallel port through
// ppdev or direct I/O, a USB adapter, GPIO lines, or the simulated port. The keypad link
// sees only this interface; each kind of port is one backend, chosen at run time from a
// PORT text such as "/dev/parport1", "0x278", "sim", "ftdi:i:0403:6001:0" or
// "gpio:gpiochip0:0,1,2,3;active-low".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace port {

/// The value that presses no key: all data lines high.
constexpr std::uint8_t kIdleByte = 0xFF;

/// An open port. Only the low four bits of each byte reach the foot controller.
class Port {
  public:
    virtual ~Port() = default;

    /// Puts `byte` on the data lines and returns once the lines carry it (for a USB
    /// adapter: once the chip has it). False when the port failed (an adapter unplugged,
    /// a descriptor gone); failure() then says why, and the port takes no further writes.
    virtual bool write(std::uint8_t byte) = 0;

    /// Releases the port. The caller has written the idle value before.
    virtual void close() = 0;

    /// What this port is, for messages: "/dev/parport1", "direct I/O at 0x278", ...
    virtual std::string describe() const = 0;

    /// After a failed write: what happened, one line that the caller prints as a message
    /// (platform/Message.h).
    virtual std::string failure() const { return {}; }

    /// Told before each wait of `milliseconds` after a write (the simulated port traces it).
    virtual void waiting(int /*milliseconds*/) {}

    /// When the last write's value reached the lines, on the monotonic clock in
    /// nanoseconds, for a port that knows it to the moment (the simulated port, whose
    /// trace says when); 0 for the others, whose waits count from the end of write().
    virtual std::int64_t writtenAt() const { return 0; }

    /// Puts the idle value on the lines without waiting for anything, from a crash
    /// handler or on the way out after a signal. Only backends whose write is
    /// async-signal-safe (one system call or one I/O instruction) do it and return true;
    /// the others return false and get an ordinary write() where that is safe.
    virtual bool emergencyIdle() noexcept { return false; }

    /// True when the device times whole strokes itself (a board with its own timer): the
    /// keypad link then hands it each stroke with stroke() instead of writing and waiting.
    virtual bool timesStrokes() const { return false; }

    /// One stroke timed by the device: `code` on the lines for `holdMs`, then the idle
    /// value for `gapMs`. Returns once the device has taken it, with at most this stroke
    /// still to finish; false when the port failed (failure() says why).
    virtual bool stroke(std::uint8_t /*code*/, int /*holdMs*/, int /*gapMs*/) { return false; }

    /// Returns once every stroke handed over has ended; false when the port failed.
    virtual bool settle() { return true; }
};

/// The outcome of opening a PORT text.
struct OpenResult {
    /// How it ended: a port was opened, the port cannot be used now, or the text names
    /// no port this tool understands.
    enum class Status { Opened, Unusable, BadText } status = Status::Unusable;
    std::unique_ptr<Port> port;
    /// Why not, one line that the caller prints as a message (platform/Message.h). For
    /// Unusable: why, and what to do. For BadText: what is wrong with the text, which the
    /// caller puts after "cannot use port '<text>': ".
    std::string reason;

    static OpenResult opened(std::unique_ptr<Port> port) {
        return {Status::Opened, std::move(port), {}};
    }
    static OpenResult unusable(std::string reason) {
        return {Status::Unusable, nullptr, std::move(reason)};
    }
    static OpenResult badText(std::string reason) {
        return {Status::BadText, nullptr, std::move(reason)};
    }
};

/// One line of the port listing.
struct PortInfo {
    /// The text that --port takes to choose it.
    std::string name;
    /// "parallel (ppdev)", "parallel (direct I/O)", "FTDI 0403:6001", "GPIO chip", ...
    std::string kind;
    /// Base address, VID:PID and serial, label and line count: what identifies it.
    std::string detail;
    /// Whether this user can use it now.
    bool usable = false;
    /// When not usable: why, and the one fix. When usable: a hint or nothing.
    std::string note;
};

/// A kind of port: which PORT texts it takes, how to open one, how to list those present.
struct Backend {
    /// Short name, for the listing and the tests: "ppdev", "directio", "sim", ...
    const char* name;
    /// True when `text` is meant for this backend (its prefix or form matches), whether
    /// or not the rest of it is valid.
    bool (*claims)(const std::string& text);
    /// Opens the port that `text` names. Validates the text first: BadText for a text
    /// this backend cannot understand, before touching anything.
    OpenResult (*open)(const std::string& text);
    /// Appends every port of this kind present on the machine; may be null.
    void (*list)(std::vector<PortInfo>& out);
    /// Checks `text` without opening anything: empty when it names a port this backend
    /// could open, else why not (as for BadText). May be null: open() checks alone.
    std::string (*check)(const std::string& text) = nullptr;
    /// The PORT texts it takes, for --help, the manual page and the completion: one line
    /// per form, "FORM<tab>what it names", placeholders in capitals ("/dev/parportN").
    const char* forms = nullptr;
};

}  // namespace port
