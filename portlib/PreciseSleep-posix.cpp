#include <sched.h>
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

#include "portlib/PreciseSleep.h"

namespace precise_sleep {
namespace {

constexpr std::int64_t kNanosPerSecond = 1000000000;
// The kernel wakes a sleeper some tens of microseconds late, more on a busy machine.
// Sleeping until this much before the deadline and spinning the rest keeps the overshoot
// to a few microseconds, for a short busy wait per key hold.
constexpr std::int64_t kSpinNanos = 150000;
// Above ordinary processes, far below the kernel's own real-time threads.
constexpr int kRealTimePriority = 10;

}  // namespace

void prepare() {
    // The default 50 us timer slack lets the kernel batch wake-ups late; ask for 1 ns.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // Where permitted, a busy machine cannot delay a wake-up or preempt the final spin.
    // The spin is bounded, so this never starves the machine. Not permitted: no matter.
    sched_param param{};
    param.sched_priority = kRealTimePriority;
    sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
}

std::int64_t nowNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

void sleepFrom(std::int64_t start, int milliseconds) {
    const std::int64_t deadline =
        (start != 0 ? start : nowNanoseconds()) + static_cast<std::int64_t>(milliseconds) * 1000000;
    const std::int64_t wakeAt = deadline - kSpinNanos;
    if (wakeAt > nowNanoseconds()) {
        timespec until{};
        until.tv_sec = static_cast<time_t>(wakeAt / kNanosPerSecond);
        until.tv_nsec = static_cast<long>(wakeAt % kNanosPerSecond);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
    while (nowNanoseconds() < deadline) {
    }
}

}  // namespace precise_sleep
