// A stand-in for FTDI's ftd2xx.dll in the Windows tests: one FT232R (0403:6001, serial
// PMC10FT1), or none when PMC10_D2XX_NONE is set, and every call appended to the file
// named by PMC10_D2XX_LOG; each FT_Write with the byte and the time in microseconds.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

using FT_HANDLE = void*;
using FT_STATUS = ULONG;
constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;

struct FT_DEVICE_LIST_INFO_NODE {
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

const char* const kSerial = "PMC10FT1";
int device = 0;  // the one handle: its address
bool opened = false;

FILE* logFile() {
    static FILE* const file = [] {
        char path[MAX_PATH];
        const DWORD length = GetEnvironmentVariableA("PMC10_D2XX_LOG", path, MAX_PATH);
        return length > 0 && length < MAX_PATH ? std::fopen(path, "ab") : nullptr;
    }();
    return file;
}

void say(const char* format, unsigned long a = 0, unsigned long b = 0) {
    if (FILE* file = logFile()) {
        std::fprintf(file, format, a, b);
        std::fputc('\n', file);
        std::fflush(file);
    }
}

long long microseconds() {
    LARGE_INTEGER counter{}, frequency{};
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return counter.QuadPart / frequency.QuadPart * 1000000 +
           counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

DWORD present() {
    return GetEnvironmentVariableA("PMC10_D2XX_NONE", nullptr, 0) > 0 ? 0 : 1;
}

FT_STATUS openDevice(FT_HANDLE* handle) {
    if (present() == 0) {
        return FT_DEVICE_NOT_FOUND;
    }
    if (opened) {
        return FT_DEVICE_NOT_OPENED;
    }
    opened = true;
    *handle = &device;
    return FT_OK;
}

}  // namespace

#define EXPORT extern "C" __declspec(dllexport)

EXPORT FT_STATUS WINAPI FT_CreateDeviceInfoList(DWORD* count) {
    *count = present();
    say("FT_CreateDeviceInfoList %lu", *count);
    return FT_OK;
}

EXPORT FT_STATUS WINAPI FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count) {
    *count = present();
    if (*count > 0) {
        std::memset(nodes, 0, sizeof *nodes);
        nodes[0].Flags = opened ? 1 : 0;
        nodes[0].Type = 5;  // FT_DEVICE_232R
        nodes[0].ID = 0x04036001;
        nodes[0].LocId = 0x11;
        std::strcpy(nodes[0].SerialNumber, kSerial);
        std::strcpy(nodes[0].Description, "FT232R USB UART");
    }
    return FT_OK;
}

EXPORT FT_STATUS WINAPI FT_Open(int index, FT_HANDLE* handle) {
    say("FT_Open %lu", static_cast<unsigned long>(index));
    return index == 0 ? openDevice(handle) : FT_DEVICE_NOT_FOUND;
}

EXPORT FT_STATUS WINAPI FT_OpenEx(void* argument, DWORD flags, FT_HANDLE* handle) {
    const bool bySerial =
        flags == 1 && std::strcmp(static_cast<const char*>(argument), kSerial) == 0;
    say(bySerial ? "FT_OpenEx serial" : "FT_OpenEx other %lu", flags);
    return bySerial ? openDevice(handle) : FT_DEVICE_NOT_FOUND;
}

EXPORT FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) {
    say("FT_SetTimeouts %lu %lu", readMs, writeMs);
    return handle == &device ? FT_OK : FT_INVALID_HANDLE;
}

EXPORT FT_STATUS WINAPI FT_SetBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode) {
    say("FT_SetBitMode 0x%02lx 0x%02lx", mask, mode);
    return handle == &device ? FT_OK : FT_INVALID_HANDLE;
}

EXPORT FT_STATUS WINAPI FT_Write(FT_HANDLE handle, void* data, DWORD size, DWORD* written) {
    if (FILE* file = logFile()) {
        for (DWORD i = 0; i < size; ++i) {
            std::fprintf(file, "FT_Write 0x%02x %lld\n", static_cast<const UCHAR*>(data)[i],
                         microseconds());
        }
        std::fflush(file);
    }
    *written = size;
    return handle == &device ? FT_OK : FT_INVALID_HANDLE;
}

EXPORT FT_STATUS WINAPI FT_Close(FT_HANDLE handle) {
    say("FT_Close");
    opened = false;
    return handle == &device ? FT_OK : FT_INVALID_HANDLE;
}
