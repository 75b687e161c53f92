// Waits that are never shorter than asked and overshoot as little as the OS allows. Key
// holds are measured in milliseconds, and every stroke's overshoot adds to a menu walk.
#pragma once

#include <cstdint>

/// Precise blocking waits on the monotonic clock.
namespace precise_sleep {

/// Tunes the calling thread for short precise waits: fine timer slack and, where the
/// process is allowed to, real-time scheduling. Call once.
void prepare();

/// Blocks until `milliseconds` have passed since `start` (nanoseconds on the monotonic
/// clock, or 0 for "now"); never returns earlier.
void sleepFrom(std::int64_t start, int milliseconds);

/// Nanoseconds on the monotonic clock. Async-signal-safe.
std::int64_t nowNanoseconds();

}  // namespace precise_sleep
