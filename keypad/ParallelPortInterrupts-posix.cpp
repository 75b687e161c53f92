// Interrupt handling on POSIX systems: signals that end the process release the keys.
#include <signal.h>
#include <unistd.h>

#include "keypad/KeyCodes.h"
#include "keypad/ParallelPort.h"
#include "portlib/PortLibrary.h"

namespace {

constexpr int kSignalExitBase = 128;
// The signals that end a run from outside: interrupt, kill, hang-up, quit, closed output.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// A key stays pressed for as long as its code is on the data lines, so an interrupted
// run must put the idle value back before it ends. Only async-signal-safe calls here.
extern "C" void releaseKeysAndExit(int signalNumber) {
    portlib::write(ParallelPort::kAddress, kIdle, 1);
    _exit(kSignalExitBase + signalNumber);
}

}  // namespace

void ParallelPort::idleOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = releaseKeysAndExit;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : kEndingSignals) {
        sigaddset(&action.sa_mask, signalNumber);  // one handler run at a time
    }
    for (const int signalNumber : kEndingSignals) {
        sigaction(signalNumber, &action, nullptr);
    }
}
