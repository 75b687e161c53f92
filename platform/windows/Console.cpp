#include "platform/Console.h"

#include <windows.h>
// windows.h first
#include <fcntl.h>
#include <io.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

#include "platform/Signals.h"

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

// A serial port (COM1, \\.\COM3) is the one device a name can open here that opening
// disturbs (DTR resets a board); those names are refused.
const char* refusedDevice(const char* path) {
    std::string name(path);
    if (name.compare(0, 4, "\\\\.\\") == 0) {
        return "a device, not a file (only a terminal or a file is read)";
    }
    while (!name.empty() && name.back() == ':') {
        name.pop_back();
    }
    const bool serial = name.size() > 3 &&
                        std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
                        std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
                        std::toupper(static_cast<unsigned char>(name[2])) == 'M' &&
                        name.find_first_not_of("0123456789", 3) == std::string::npos;
    return serial ? "a device, not a file (only a terminal or a file is read)" : nullptr;
}

int openInput(const char* path) {
    if (refusedDevice(path) != nullptr) {
        errno = EACCES;
        return -1;
    }
    return _open(path, _O_RDONLY | _O_BINARY);
}

void closeInput(int fd) {
    _close(fd);
}

// The console handler ends the process itself when no key is held, so a read that waits
// for the console is no wait a signal needs to end.
long readInput(int fd, char* data, std::size_t size, bool interruptReturns) {
    if (const signals::Event event = signals::poll()) {
        if (interruptReturns && event.number == 2) {
            return kInterrupted;
        }
        signals::dispatch(event);
        return kInterrupted;
    }
    return _read(fd, data, static_cast<unsigned>(size));
}

void writeErrorNow(const char* data, std::size_t size) noexcept {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), data, static_cast<DWORD>(size), &written, nullptr);
}

}  // namespace console
