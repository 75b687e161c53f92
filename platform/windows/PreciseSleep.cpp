#include <windows.h>
// windows.h first: timeapi.h needs its types.
#include <timeapi.h>

#include <cstdlib>

#include "platform/PreciseSleep.h"

namespace precise_sleep {
namespace {

// Sleep() in whole milliseconds until this close to the deadline, then spin: with the
// timer at 1 ms a Sleep(n) lasts n to n+1 ms, so the spin stays short.
constexpr std::int64_t kSpinNanos = 2000000;

std::int64_t ticksPerSecond() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace

std::int64_t spinNanoseconds() {
    return kSpinNanos;
}

// The spin covers a whole timer tick already.
void wokeLate(std::int64_t /*nanoseconds*/) {}

void prepare() {
    // The default timer tick is 15.6 ms: a 15 ms key hold could last 31 ms. 1 ms for this
    // run, given back when it ends.
    timeBeginPeriod(1);
    std::atexit([] { timeEndPeriod(1); });
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

std::int64_t nowNanoseconds() {
    static const std::int64_t frequency = ticksPerSecond();
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    const std::int64_t seconds = counter.QuadPart / frequency;
    const std::int64_t rest = counter.QuadPart % frequency;
    return seconds * 1000000000 + rest * 1000000000 / frequency;
}

}  // namespace precise_sleep
