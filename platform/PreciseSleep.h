// The clock that key holds are measured on, and the set-up that makes short waits
// precise. Key holds are milliseconds long, and every stroke's overshoot adds to a menu
// walk; the waits themselves are signals::waitUntil, which a signal can end.
#pragma once

#include <cstdint>

namespace precise_sleep {

/// How long before a deadline a wait stops sleeping and spins: the kernel wakes a
/// sleeper some tens of microseconds late (Windows: up to a timer tick).
std::int64_t spinNanoseconds();

/// Tunes the calling thread for short precise waits: fine timer slack and, where the
/// process is allowed to, real-time scheduling. Call once, when the port opens.
void prepare();

/// Nanoseconds on the monotonic clock. Async-signal-safe.
std::int64_t nowNanoseconds();

}  // namespace precise_sleep
