#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

#include "portlib/PreciseSleep.h"

namespace precise_sleep {
namespace {

constexpr std::int64_t kNanosPerSecond = 1000000000;
constexpr std::int64_t kNanosPerMilli = 1000000;
// The kernel wakes a sleeper up to a few tens of microseconds late, more on a busy
// machine. Sleeping until this much before the deadline and spinning the rest keeps the
// overshoot to a few microseconds at the cost of a short busy wait per key hold.
constexpr std::int64_t kSpinNanos = 150000;

timespec toTimespec(std::int64_t nanos) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(nanos / kNanosPerSecond);
    ts.tv_nsec = static_cast<long>(nanos % kNanosPerSecond);
    return ts;
}

}  // namespace

void prepare() {
    // The default 50 us timer slack lets the kernel batch wake-ups late; ask for 1 ns.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

std::int64_t nowNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

void sleepFor(int milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    const std::int64_t deadline = nowNanoseconds() + milliseconds * kNanosPerMilli;
    const std::int64_t wakeAt = deadline - kSpinNanos;
    if (wakeAt > nowNanoseconds()) {
        const timespec until = toTimespec(wakeAt);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
    while (nowNanoseconds() < deadline) {
    }
}

}  // namespace precise_sleep
