// Signals as ordinary events. The signals that end or stop the process are blocked for
// the whole run and collected where the program waits (a key hold, a console read or
// write, a wait for a busy port), so the port is only ever written from ordinary code
// and no backend needs to be async-signal-safe. Only crashes (SEGV, BUS, FPE, ILL, ABRT)
// have a real handler, which puts the idle value on the port where that can be done
// safely and then lets the process die by the same signal.
#pragma once

#include <cstdint>

namespace signals {

/// What a signal asks of the run.
enum class Kind {
    None,
    /// End the process (HUP, INT, TERM, USR1, ...): release the key, then die by it.
    Terminate,
    /// Stop the process (TSTP, TTIN, TTOU): finish the stroke, then stop until SIGCONT.
    Stop,
};

/// One signal that arrived, or none.
struct Event {
    int number = 0;
    Kind kind = Kind::None;
    explicit operator bool() const { return kind != Kind::None; }
};

/// Takes over the signals: call first thing in main(). Signals ignored at start stay
/// ignored; SIGPIPE is ignored, so a closed reader is a failed write, not the end.
void install();

/// The first signal that has arrived and not been taken yet; does not wait.
Event poll();

/// Waits until `deadlineNanos` on the monotonic clock (precise_sleep::nowNanoseconds),
/// never returning earlier unless a signal arrives, which it then returns.
Event waitUntil(std::int64_t deadlineNanos);

/// Waits until `fd` is ready for reading (`forWriting` false) or writing, or a signal
/// arrives (returned). Returns an empty event when the descriptor is ready.
Event waitForDescriptor(int fd, bool forWriting);

/// What the run does with a signal: the controller registers its own handling once it
/// holds the port. Without one, a terminating signal ends the process and a stop signal
/// stops it, as the defaults would.
using Handler = void (*)(Event);
void setHandler(Handler handler);

/// Hands `event` to the registered handler, or applies the default. Once the process is
/// ending by a signal (beginEnding), later events are dropped: the first one decides.
void dispatch(Event event);

/// Marks the process as ending by `number`: the key in hand may still finish its stroke,
/// but no further signal is taken and no output waits for room. The first call decides.
void beginEnding(int number);

/// The signal the process is ending by, or 0.
int ending();

/// Ends the process by `number` with its default action, so that the parent sees it
/// killed by that signal (a core dump included where the signal makes one).
[[noreturn]] void dieBy(int number);

/// Stops the process as `number`'s default action would; returns once it is continued.
void stopBy(int number);

/// Called from the crash handler before the process dies: must be async-signal-safe.
void setCrashHook(void (*hook)() noexcept);

/// Tells the platform whether a key code is (about to be) on the port. Where events are
/// posted from another thread (Windows), that thread ends the process itself only while
/// no key is held. Set before looking for events and writing a code.
void notePortHeld(bool held);

}  // namespace signals
