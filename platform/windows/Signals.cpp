// Console events on Windows (Ctrl-C, Ctrl-Break, closing the console, logging off, shut-
// down) as ordinary events. Windows runs the console handler on a thread of its own; it
// only posts the event, and the main thread, at its next wait, puts the port idle and
// ends the process. Where the main thread is not waiting on the port (it reads the
// console, or has not opened the port), the port is idle and the handler ends the
// process itself.
#include "platform/Signals.h"

#include <windows.h>

#include <atomic>

#include "platform/PreciseSleep.h"

namespace signals {
namespace {

constexpr int kSigInt = 2, kSigTerm = 15, kSigBreak = 21;
// How long the handler lets the main thread finish with a held key before ending anyway.
constexpr int kGraceMs = 2000;

std::atomic<int> pending{0};
std::atomic<bool> portHeld{false};
HANDLE wake = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type) {
    const int number = type == CTRL_C_EVENT       ? kSigInt
                       : type == CTRL_BREAK_EVENT ? kSigBreak
                                                  : kSigTerm;
    pending.store(number);
    SetEvent(wake);
    // The main thread marks the port held before it looks for events and writes a key
    // code, so either it sees this event first or this thread sees the port held and
    // leaves the ending to it: it takes the event at its next wait, within a millisecond.
    for (int waited = 0; portHeld.load() && waited < kGraceMs; ++waited) {
        Sleep(1);
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(128 + number));
    return TRUE;
}

}  // namespace

void install() {
    wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

Event poll() {
    const int number = pending.exchange(0);
    return number != 0 ? Event{number, Kind::Terminate} : Event{};
}

Event waitUntil(std::int64_t deadlineNanos) {
    const std::int64_t spin = precise_sleep::spinNanoseconds();
    for (std::int64_t remaining;
         (remaining = deadlineNanos - precise_sleep::nowNanoseconds()) > 0;) {
        if (const Event event = poll()) {
            return event;
        }
        if (remaining > spin) {
            WaitForSingleObject(wake, static_cast<DWORD>((remaining - spin) / 1000000));
        }
    }
    return poll();
}

Event waitForDescriptor(int /*fd*/, bool /*forWriting*/) {
    return poll();
}

void dieBy(int number) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(128 + number));
    ExitProcess(static_cast<UINT>(128 + number));  // not reached
}

void stopBy(int /*number*/) {}

void setCrashHook(void (* /*hook*/)() noexcept) {}

void notePortHeld(bool held) {
    portHeld.store(held);
}

}  // namespace signals
