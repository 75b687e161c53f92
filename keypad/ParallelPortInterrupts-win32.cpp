// Interrupt handling on Windows: Ctrl-C, Ctrl-Break and closing the console release the
// keys. Windows runs the handler on a thread of its own, so the main thread is stopped
// first and cannot put a key code back on the port after the idle write.
#include <windows.h>

#include "keypad/KeyCodes.h"
#include "keypad/ParallelPort.h"
#include "portlib/PortLibrary.h"

namespace {

constexpr UINT kSignalExitBase = 128;
constexpr UINT kSigInt = 2, kSigTerm = 15, kSigBreak = 21;

HANDLE mainThread = nullptr;

BOOL WINAPI releaseKeysAndExit(DWORD event) {
    if (mainThread != nullptr && SuspendThread(mainThread) != static_cast<DWORD>(-1)) {
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        GetThreadContext(mainThread, &context);  // waits until the suspension took effect
    }
    portlib::write(ParallelPort::kAddress, kIdle, 1);
    const UINT signal = event == CTRL_C_EVENT       ? kSigInt
                        : event == CTRL_BREAK_EVENT ? kSigBreak
                                                    : kSigTerm;
    ExitProcess(kSignalExitBase + signal);
    return TRUE;
}

}  // namespace

void ParallelPort::idleOnInterrupt() {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    SetConsoleCtrlHandler(releaseKeysAndExit, TRUE);
}
