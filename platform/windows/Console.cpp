#include "platform/Console.h"

#include <windows.h>
// windows.h first
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>

namespace console {

// Windows gives every process its three standard handles (or none to write to at all);
// a port is reached through a library, never through a C descriptor.
void guardStandardDescriptors() {}

// Text mode would turn each "\n" into "\r\n"; the screens are the same bytes as on Linux.
void prepare() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void writeError(const char* data, std::size_t size) {
    std::cerr.write(data, static_cast<std::streamsize>(size));
    std::cerr.flush();
}

void writeErrorNow(const char* data, std::size_t size) noexcept {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), data, static_cast<DWORD>(size), &written, nullptr);
}

}  // namespace console
