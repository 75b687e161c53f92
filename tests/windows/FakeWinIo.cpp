// A stand-in for the WinIo library in the Windows tests: exports InitializeWinIo and
// SetPortVal and appends each call, with the time in microseconds, to the file named by
// PMC10_WINIO_LOG. InitializeWinIo fails when PMC10_WINIO_FAIL is set.
#include <windows.h>

#include <cstdio>

namespace {

FILE* logFile() {
    static FILE* const file = [] {
        char path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA("PMC10_WINIO_LOG", path, MAX_PATH);
        return length > 0 && length < MAX_PATH ? std::fopen(path, "a") : nullptr;
    }();
    return file;
}

long long microseconds() {
    LARGE_INTEGER counter{}, frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

}  // namespace

extern "C" __declspec(dllexport) bool __stdcall InitializeWinIo() {
    const bool fail = GetEnvironmentVariableA("PMC10_WINIO_FAIL", nullptr, 0) > 0;
    if (FILE* file = logFile()) {
        std::fprintf(file, "InitializeWinIo %s\n", fail ? "fails" : "ok");
        std::fflush(file);
    }
    return !fail;
}

extern "C" __declspec(dllexport) bool __stdcall SetPortVal(WORD port, DWORD value, BYTE size) {
    if (FILE* file = logFile()) {
        // Port, value as passed, size, the byte a one-byte write puts on the port, time.
        std::fprintf(file, "SetPortVal 0x%x 0x%02lx %u 0x%02lx %lld\n", port, value, size,
                     value & 0xFFUL, microseconds());
        std::fflush(file);
    }
    return true;
}
