// The clock that key holds are measured on, and the set-up that makes short waits
// precise. Key holds are milliseconds long, and every stroke's overshoot adds to a menu
// walk; the waits themselves are signals::waitUntil, which a signal can end.
#pragma once

#include <algorithm>
#include <cstdint>

namespace precise_sleep {

/// How long before a deadline a wait stops sleeping and spins: the kernel wakes a
/// sleeper some tens of microseconds late (Windows: up to a timer tick), and some
/// machines (virtual ones, busy hosts) a good deal later.
std::int64_t spinNanoseconds();

/// Tells the spin how late a sleep woke, past the time it asked for.
void wokeLate(std::int64_t nanoseconds);

/// A spin that learns how late this machine wakes a sleeper. It settles where about one
/// wake-up in five comes later than the spin covers, and stays between `floor` and
/// `ceiling`: where wake-ups are prompt it costs no more than the floor, and a wake-up
/// far too late (a busy host) moves it by one step, not by its own lateness.
class SpinMargin {
  public:
    constexpr SpinMargin(std::int64_t floor, std::int64_t ceiling)
        : floor_(floor), ceiling_(ceiling), nanoseconds_(floor) {}

    std::int64_t nanoseconds() const { return nanoseconds_; }

    void wokeLate(std::int64_t late) {
        nanoseconds_ = late > nanoseconds_ ? std::min(nanoseconds_ + kRise, ceiling_)
                                           : std::max(nanoseconds_ - kFall, floor_);
    }

  private:
    // Four steps down for each step up: the margin rests where a fifth of wake-ups pass it.
    static constexpr std::int64_t kFall = 5000;
    static constexpr std::int64_t kRise = 4 * kFall;
    std::int64_t floor_, ceiling_, nanoseconds_;
};

/// Tunes the calling thread for short precise waits: fine timer slack and, where the
/// process is allowed to, real-time scheduling. Call once, when the port opens.
void prepare();

/// Nanoseconds on the monotonic clock. Async-signal-safe.
std::int64_t nowNanoseconds();

}  // namespace precise_sleep
