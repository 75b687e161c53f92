// FTDI's D2XX library as pmc10 calls it: the types, values and calls used, as FTDI's
// D2XX programmer's guide gives them. Shared by the port and by the tests' stand-in
// library, so that both sides of the calls agree.
#pragma once

#include <windows.h>

using FT_HANDLE = void*;
using FT_STATUS = ULONG;
inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr ULONG FT_FLAGS_OPENED = 1;
inline constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr UCHAR FT_BITMODE_ASYNC_BITBANG = 0x01;
// FT_DEVICE: the chip types with an asynchronous bit-bang mode. FT8U232AM (1), FT8U100AX
// (2), unknown chips (3) and the later bridges (FT4222H and on) have none.
inline constexpr ULONG FT_DEVICE_BM = 0;
inline constexpr ULONG FT_DEVICE_2232C = 4;
inline constexpr ULONG FT_DEVICE_X_SERIES = 9;

struct FT_DEVICE_LIST_INFO_NODE {
    ULONG Flags;
    ULONG Type;
    ULONG ID;  // VID << 16 | PID
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

/// The calls, each with the name it has in ftd2xx.dll in the comment.
struct D2xx {
    FT_STATUS(WINAPI* createDeviceInfoList)(DWORD* count);  // FT_CreateDeviceInfoList
    FT_STATUS(WINAPI* getDeviceInfoList)
    (FT_DEVICE_LIST_INFO_NODE* nodes,
     DWORD* count);                                         // FT_GetDeviceInfoList
    FT_STATUS(WINAPI* open)(int index, FT_HANDLE* handle);  // FT_Open
    FT_STATUS(WINAPI* openEx)(void* argument, DWORD flags, FT_HANDLE* handle);  // FT_OpenEx
    FT_STATUS(WINAPI* setBitMode)(FT_HANDLE handle, UCHAR mask, UCHAR mode);    // FT_SetBitMode
    FT_STATUS(WINAPI* setTimeouts)
    (FT_HANDLE handle, ULONG readMs,
     ULONG writeMs);  // FT_SetTimeouts
    FT_STATUS(WINAPI* write)(FT_HANDLE handle, void* data, DWORD size,
                             DWORD* written);    // FT_Write
    FT_STATUS(WINAPI* close)(FT_HANDLE handle);  // FT_Close
};
