// The link to the PC's first parallel port: opened once, then one byte per write to the
// data register, whose low four lines reach the foot controller.
#pragma once

#include <cstdint>
#include <string>

/// The parallel port's data register, opened through the port-access library.
class ParallelPort {
  public:
    /// The data register of LPT1.
    static constexpr std::uint16_t kAddress = 0x378;

    /// Initialises the port-access library; ok() tells whether that worked.
    ParallelPort();

    bool ok() const { return ok_; }

    /// After a failed initialisation: why, and what to do; empty when nothing is known.
    std::string failureReason() const;

    /// Puts the low byte of `value` on the data lines.
    void write(std::int32_t value);

    /// Makes an interrupt (Ctrl-C, kill, hang-up) release any held key before the process
    /// ends, with status 128 + the signal number.
    static void idleOnInterrupt();

  private:
    bool ok_;
};
