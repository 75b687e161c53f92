// Helpers for the libraries the Windows build loads at run time (WinIo, FTDI's D2XX):
// finding their functions, and turning Windows' wide texts into the tool's UTF-8.
#pragma once

#include <windows.h>

#include <string>

namespace windows_library {

/// `text` in UTF-8.
inline std::string narrow(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size - 1) : 0, '\0');
    if (size > 1) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    }
    return out;
}

/// Sets `function` to the export `name` of `library`; false when it has none.
template <typename Function>
bool resolve(HMODULE library, const char* name, Function& function) {
    // Through a plain function pointer type, which any function pointer converts from.
    function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    return function != nullptr;
}

}  // namespace windows_library
