// A stand-in for the WinIo library in the Windows tests: exports InitializeWinIo and
// SetPortVal and appends each call, with the time in microseconds, to the file named by
// PMC10_WINIO_LOG. InitializeWinIo fails when PMC10_WINIO_FAIL is set.
#include <windows.h>

#include "FakeLog.h"

extern "C" __declspec(dllexport) bool __stdcall InitializeWinIo() {
    const bool fail = GetEnvironmentVariableA("PMC10_WINIO_FAIL", nullptr, 0) > 0;
    fake_log::say("PMC10_WINIO_LOG", "InitializeWinIo %s", fail ? "fails" : "ok");
    return !fail;
}

extern "C" __declspec(dllexport) bool __stdcall SetPortVal(WORD port, DWORD value, BYTE size) {
    // Port, value as passed, size, the byte a one-byte write puts on the port, time.
    fake_log::say("PMC10_WINIO_LOG", "SetPortVal 0x%x 0x%02lx %u 0x%02lx %lld", port, value, size,
                  value & 0xFFUL, fake_log::microseconds());
    return true;
}
