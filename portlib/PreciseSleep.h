// Waits that are never shorter than asked and overshoot as little as the OS allows. Key
// holds are measured in milliseconds, and every stroke's overshoot adds to a menu walk.
#pragma once

#include <cstdint>

/// Precise blocking waits on the monotonic clock.
namespace precise_sleep {

/// Tunes the calling thread for short precise waits (fine timer slack); call once.
void prepare();

/// Blocks until `milliseconds` have passed since the call; never returns early.
void sleepFor(int milliseconds);

/// Nanoseconds on the monotonic clock. Async-signal-safe.
std::int64_t nowNanoseconds();

}  // namespace precise_sleep
