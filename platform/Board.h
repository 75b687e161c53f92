// The pmc10 board: an ATmega328P board on a serial line that times every stroke with its
// own timer (firmware/). This is the part of the backend that every platform shares: the
// conversation with the board over a serial line, and the port built on it. The
// platforms supply the line (termios on Linux, a COM port on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "port/Port.h"

namespace board {

/// A serial line to the board, opened and set up by the platform.
class SerialLine {
  public:
    virtual ~SerialLine() = default;
    /// Sends every byte, or returns false (the line failed or stayed blocked).
    /// Async-signal-safe on Linux: called from the crash hook.
    virtual bool send(const std::uint8_t* data, std::size_t size) = 0;
    /// What has arrived, waiting at most `timeoutMs` for it: the number of bytes read, 0
    /// when nothing came, -1 when the line failed. Signals that arrive meanwhile are
    /// handed to the run (signals::dispatch) unless `quiet`.
    virtual int receive(std::uint8_t* data, std::size_t size, int timeoutMs, bool quiet) = 0;
    /// Milliseconds on a monotonic clock.
    virtual std::int64_t nowMs() = 0;
    /// After a failure: what the system said ("Input/output error").
    virtual std::string lastError() const = 0;
    virtual void close() = 0;
};

/// How long a board may take to say hello after its port opened: an Uno restarts when
/// its port opens and its boot loader waits about a second before the firmware runs.
constexpr int kHelloBoundMs = 3000;

/// Talks to the board: waits for its hello, then opens the port. `device` is what the
/// messages call it ("/dev/ttyACM0", "COM3").
port::OpenResult greetAndOpen(std::unique_ptr<SerialLine> line, const std::string& device,
                              int boundMs = kHelloBoundMs);

}  // namespace board
