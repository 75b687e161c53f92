#include "platform/PreciseSleep.h"

#include <sched.h>
#include <sys/prctl.h>
#include <time.h>

namespace precise_sleep {
namespace {

constexpr std::int64_t kNanosPerSecond = 1000000000;
// Sleeping until at least this much before the deadline and spinning the rest keeps the
// overshoot to a few microseconds, for a short busy wait per key hold. Where the kernel
// wakes later, the spin grows, up to a fifteenth of a key hold.
constexpr std::int64_t kSpinFloorNanos = 150000;
constexpr std::int64_t kSpinCeilingNanos = 1000000;
// Above ordinary processes, far below the kernel's own real-time threads.
constexpr int kRealTimePriority = 10;

SpinMargin spin{kSpinFloorNanos, kSpinCeilingNanos};

}  // namespace

std::int64_t spinNanoseconds() {
    return spin.nanoseconds();
}

void wokeLate(std::int64_t nanoseconds) {
    spin.wokeLate(nanoseconds);
}

void prepare() {
    // The default 50 us timer slack lets the kernel batch wake-ups late; ask for 1 ns.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // Where permitted (root, group audio with an rtprio limit), a busy machine cannot
    // delay a wake-up or preempt the final spin. The spin is bounded, so this never
    // starves the machine. Not permitted: no matter.
    sched_param param{};
    param.sched_priority = kRealTimePriority;
    sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param);
}

std::int64_t nowNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

}  // namespace precise_sleep
