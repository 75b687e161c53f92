// Signals on Linux: the terminating and stop signals are blocked and read from a
// signalfd wherever the program waits, so they arrive as ordinary events in the main
// loop. Crashes get a real handler, the only code that runs asynchronously.
#include "platform/Signals.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/PreciseSleep.h"

namespace signals {
namespace {

// Default action: end the process. Caught as events.
constexpr int kTerminating[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGUSR1,   SIGUSR2, SIGALRM,
    SIGTERM,   SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
// Default action: stop the process. Caught as events, so a stroke is never frozen.
constexpr int kStopping[] = {SIGTSTP, SIGTTIN, SIGTTOU};
// Raised by the faulting instruction itself (or by abort()): these cannot wait for the
// main loop, so a handler puts the port idle and the process dies by the same signal.
constexpr int kCrashes[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};

// A thousandth of this is well inside the final spin.
constexpr std::int64_t kLongestSleepNanos = 50000000;

int signalFd = -1;
sigset_t caught;
std::atomic<void (*)() noexcept> crashHook{nullptr};
// Room for the crash handler when the crash is a stack overflow.
alignas(16) char alternateStack[64 * 1024];

bool ignoredAtStart(int number) {
    struct sigaction current {};
    return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void catchAsEvent(int number) {
    // A signal ignored when the tool starts (nohup, a script's background job) stays
    // ignored: blocking it would queue it, since the kernel never ignores a blocked one.
    if (!ignoredAtStart(number)) {
        sigaddset(&caught, number);
    }
}

extern "C" void onCrash(int number) {
    if (auto* hook = crashHook.load()) {
        hook();
    }
    // SA_RESETHAND restored the default action and SA_NODEFER leaves the signal
    // unblocked: raising it again ends the process as the signal's own default would,
    // core dump included. A faulting instruction would also fault again on return.
    raise(number);
}

Kind kindOf(int number) {
    for (const int stop : kStopping) {
        if (number == stop) {
            return Kind::Stop;
        }
    }
    return Kind::Terminate;
}

}  // namespace

void install() {
    signal(SIGPIPE, SIG_IGN);
    sigemptyset(&caught);
    for (const int number : kTerminating) {
        catchAsEvent(number);
    }
    // From SIGRTMIN up: the C library keeps the two below it (32 and 33 with glibc) for
    // its threads and refuses to let them be blocked or handled; taking them anyway (by
    // raw system calls) would break the threads a USB library starts.
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) {
        catchAsEvent(number);
    }
    for (const int number : kStopping) {
        catchAsEvent(number);
    }
    sigset_t before;
    sigprocmask(SIG_BLOCK, &caught, &before);
    signalFd = signalfd(-1, &caught, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        // No descriptor for them (the process is out of descriptors): leave the signals
        // to their default actions rather than block them unseen.
        sigprocmask(SIG_SETMASK, &before, nullptr);
    }

    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = onCrash;
    action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int number : kCrashes) {
        if (!ignoredAtStart(number)) {
            sigaction(number, &action, nullptr);
        }
    }
}

Event poll() {
    if (signalFd < 0) {
        return {};
    }
    signalfd_siginfo info{};
    while (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        const int number = static_cast<int>(info.ssi_signo);
        if (sigismember(&caught, number) == 1) {
            return {number, kindOf(number)};
        }
    }
    return {};
}

Event waitUntil(std::int64_t deadlineNanos) {
    for (;;) {
        const std::int64_t now = precise_sleep::nowNanoseconds();
        const std::int64_t remaining = deadlineNanos - now;
        const std::int64_t spin = precise_sleep::spinNanoseconds();
        if (remaining <= spin) {
            break;
        }
        // The kernel lets a poll of an ordinary process wake up to a thousandth of its
        // timeout late, whatever the timer slack: half a millisecond on a 500 ms pause,
        // more than the spin covers. Sleeping in short stretches keeps that lateness
        // below the spin.
        const std::int64_t sleep = std::min(remaining - spin, kLongestSleepNanos);
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(sleep / 1000000000);
        timeout.tv_nsec = static_cast<long>(sleep % 1000000000);
        pollfd fds{signalFd, POLLIN, 0};
        const int ready = ppoll(&fds, signalFd >= 0 ? 1 : 0, &timeout, nullptr);
        if (ready == 0) {
            precise_sleep::wokeLate(precise_sleep::nowNanoseconds() - now - sleep);
        }
        if (ready > 0) {
            if (const Event event = poll()) {
                return event;
            }
        }
    }
    // The last stretch is spun: a wake-up from sleep would come late. A signal that
    // arrives now is taken at the next wait, a fraction of a millisecond later.
    while (precise_sleep::nowNanoseconds() < deadlineNanos) {
    }
    return {};
}

Event waitForDescriptor(int fd, bool forWriting) {
    for (;;) {
        pollfd fds[2] = {{fd, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0},
                         {signalFd, POLLIN, 0}};
        const int ready = ::poll(fds, signalFd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno != EINTR) {
            return {};
        }
        if (ready > 0 && fds[1].revents != 0) {
            if (const Event event = poll()) {
                return event;
            }
        }
        if (ready > 0 && fds[0].revents != 0) {
            return {};
        }
    }
}

void dieBy(int number) {
    signal(number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    raise(number);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    // Still alive: the signal's default is not to end the process.
    _exit(128 + number);
}

void stopBy(int number) {
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    raise(number);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);  // stops here until SIGCONT
    sigprocmask(SIG_BLOCK, &only, nullptr);
}

void setCrashHook(void (*hook)() noexcept) {
    crashHook.store(hook);
}

// Signals wait in their descriptor until the main loop takes them; nothing to note.
void notePortHeld(bool /*held*/) {}

}  // namespace signals
