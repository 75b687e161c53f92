// The port-access library: the few calls through which the keypad link reaches the
// parallel port. Exactly one implementation is linked into each executable (real
// hardware, Windows, simulated with a trace, or the test recorder); nothing else in the
// program knows which one it runs on.
#pragma once

#include <cstdint>
#include <string>

/// Port access as the keypad link needs it: open once, write a byte, wait.
namespace portlib {

/// Opens access to the I/O ports. Called once per run; true when writes reach the port.
bool initialize();

/// Writes the low `size` bytes of `value` to the I/O port at `address`. Does nothing
/// unless initialize() succeeded. Async-signal-safe, so an interrupt handler may use it.
void write(std::uint16_t address, std::uint32_t value, std::uint8_t size);

/// Blocks the calling thread for `milliseconds`; never returns early.
void sleep(int milliseconds);

/// After a failed initialize(): one line saying why and what to do, or empty text when
/// the platform has nothing to add.
std::string failureReason();

}  // namespace portlib
