// A stand-in for FTDI's ftd2xx.dll in the Windows tests: one FT232R (0403:6001, serial
// PMC10FT1), or none when PMC10_D2XX_NONE is set, and every call appended to the file
// named by PMC10_D2XX_LOG; each FT_Write with the byte and the time in microseconds.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "FakeLog.h"
#include "platform/windows/D2xxAbi.h"

namespace {

const char* const kSerial = "PMC10FT1";
int device = 0;  // the one handle: its address
bool opened = false;

template <typename... Values>
void say(const char* format, Values... values) {
    fake_log::say("PMC10_D2XX_LOG", format, static_cast<unsigned long>(values)...);
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
    for (DWORD i = 0; i < size; ++i) {
        fake_log::say("PMC10_D2XX_LOG", "FT_Write 0x%02x %lld", static_cast<const UCHAR*>(data)[i],
                      fake_log::microseconds());
    }
    *written = size;
    return handle == &device ? FT_OK : FT_INVALID_HANDLE;
}

EXPORT FT_STATUS WINAPI FT_Close(FT_HANDLE handle) {
    say("FT_Close");
    opened = false;
    return handle == &device ? FT_OK : FT_INVALID_HANDLE;
}

// Each stand-in has the type that the port calls it by.
static_assert(
    std::is_same_v<decltype(&FT_CreateDeviceInfoList), decltype(D2xx::createDeviceInfoList)>);
static_assert(std::is_same_v<decltype(&FT_GetDeviceInfoList), decltype(D2xx::getDeviceInfoList)>);
static_assert(std::is_same_v<decltype(&FT_Open), decltype(D2xx::open)>);
static_assert(std::is_same_v<decltype(&FT_OpenEx), decltype(D2xx::openEx)>);
static_assert(std::is_same_v<decltype(&FT_SetBitMode), decltype(D2xx::setBitMode)>);
static_assert(std::is_same_v<decltype(&FT_SetTimeouts), decltype(D2xx::setTimeouts)>);
static_assert(std::is_same_v<decltype(&FT_Write), decltype(D2xx::write)>);
static_assert(std::is_same_v<decltype(&FT_Close), decltype(D2xx::close)>);
