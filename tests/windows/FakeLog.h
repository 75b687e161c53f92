// The call log of the tests' stand-in Windows libraries: one line per call, appended to
// the file that an environment variable names, with the time in microseconds at hand.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace fake_log {

/// Appends one printf-style line to the file named by `variable`; nothing when unset.
inline void say(const char* variable, const char* format, ...) {
    static FILE* const file = [variable] {
        char path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA(variable, path, MAX_PATH);
        return length > 0 && length < MAX_PATH ? std::fopen(path, "ab") : nullptr;
    }();
    if (file != nullptr) {
        va_list arguments;
        va_start(arguments, format);
        std::vfprintf(file, format, arguments);
        va_end(arguments);
        std::fputc('\n', file);
        std::fflush(file);
    }
}

inline long long microseconds() {
    LARGE_INTEGER counter{}, frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

}  // namespace fake_log
