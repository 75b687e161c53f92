// Real parallel port on Windows, through the WinIo port-access library. The library is
// loaded at run time, and only from the folder of pmc10.exe itself, by full path, so that
// no other folder can plant a DLL of that name. It needs administrator rights and finds
// its driver (WinIo64.sys or WinIo32.sys) next to the DLL.
#include <windows.h>

#include <string>

#include "portlib/PortLibrary.h"
#include "portlib/PreciseSleep.h"

namespace {

// The library's documented signatures; it exports the names undecorated.
using InitializeWinIoFunction = bool(__stdcall*)();
using SetPortValFunction = bool(__stdcall*)(WORD port, DWORD value, BYTE size);

#ifdef _WIN64
const wchar_t* const kLibrary = L"WinIo64.dll";
#else
const wchar_t* const kLibrary = L"WinIo32.dll";
#endif

SetPortValFunction setPortVal = nullptr;
volatile LONG opened = 0;
std::int64_t lastWriteNanos = 0;
std::string reason;

std::string narrow(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size - 1) : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    }
    return out;
}

/// The folder of the running executable, with its trailing separator.
std::wstring executableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

template <typename Function>
Function resolve(HMODULE library, const char* name) {
    // Through a plain function pointer type, which any function pointer converts from.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace

namespace portlib {

bool initialize() {
    precise_sleep::prepare();
    const std::wstring path = executableFolder() + kLibrary;
    const HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) {
        reason = "pmc10: cannot load " + narrow(path) +
                 " (put the WinIo library and its driver next to pmc10.exe)";
        return false;
    }
    const auto initializeWinIo = resolve<InitializeWinIoFunction>(library, "InitializeWinIo");
    const auto setPortValue = resolve<SetPortValFunction>(library, "SetPortVal");
    if (initializeWinIo == nullptr || setPortValue == nullptr) {
        reason = "pmc10: " + narrow(path) + " does not export InitializeWinIo and SetPortVal";
        return false;
    }
    if (!initializeWinIo()) {
        reason = "pmc10: InitializeWinIo failed (run as administrator, and let its driver load)";
        return false;
    }
    setPortVal = setPortValue;
    opened = 1;
    return true;
}

void write(std::uint16_t address, std::uint32_t value, std::uint8_t size) {
    if (opened != 0) {
        setPortVal(address, value, size);  // its result is not checked: nothing to do about it
    }
    lastWriteNanos = precise_sleep::nowNanoseconds();
}

void sleep(int milliseconds) {
    precise_sleep::sleepFrom(lastWriteNanos, milliseconds);
}

std::string failureReason() {
    return reason;
}

}  // namespace portlib
