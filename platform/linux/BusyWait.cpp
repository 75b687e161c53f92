#include "platform/linux/BusyWait.h"

#include <sys/file.h>

#include <cerrno>
#include <iostream>

#include "platform/Message.h"
#include "platform/PreciseSleep.h"
#include "platform/Signals.h"

namespace busy_wait {
namespace {
constexpr int kRetryMs = 20;
}

void sayWaiting(const std::string& what) {
    static bool said = false;
    if (!said) {
        said = true;
        std::cerr << message(what + " is in use by another run; waiting for it") << std::endl;
    }
}

void pause(int milliseconds) {
    const std::int64_t until =
        precise_sleep::nowNanoseconds() + static_cast<std::int64_t>(milliseconds) * 1000000;
    while (const signals::Event event = signals::waitUntil(until)) {
        signals::dispatch(event);
    }
}

bool lockExclusive(int fd, const std::string& what) {
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        sayWaiting(what);
        pause(kRetryMs);
    }
}

}  // namespace busy_wait
