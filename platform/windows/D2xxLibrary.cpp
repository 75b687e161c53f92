#include "platform/windows/D2xxLibrary.h"

#include "platform/windows/Library.h"

namespace port::d2xx {
namespace {

using windows_library::narrow;
using windows_library::resolve;

std::wstring libraryPath() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return L"ftd2xx.dll";
    }
    return std::wstring(folder, length) + L"\\ftd2xx.dll";
}

}  // namespace

const D2xx* library(std::string& why) {
    static D2xx calls{};
    static bool loaded = false;
    if (loaded) {
        return &calls;
    }
    const std::wstring path = libraryPath();
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        why = "cannot load " + narrow(path) +
              " (FTDI's D2XX driver: plug the adapter in and let Windows install its driver)";
        return nullptr;
    }
    if (!resolve(module, "FT_CreateDeviceInfoList", calls.createDeviceInfoList) ||
        !resolve(module, "FT_GetDeviceInfoList", calls.getDeviceInfoList) ||
        !resolve(module, "FT_Open", calls.open) || !resolve(module, "FT_OpenEx", calls.openEx) ||
        !resolve(module, "FT_SetBitMode", calls.setBitMode) ||
        !resolve(module, "FT_SetTimeouts", calls.setTimeouts) ||
        !resolve(module, "FT_Write", calls.write) || !resolve(module, "FT_Close", calls.close)) {
        why = narrow(path) + " lacks a D2XX function pmc10 needs (an old driver?)";
        return nullptr;
    }
    loaded = true;
    return &calls;
}

std::vector<Device> devices(const D2xx& d2xx) {
    DWORD count = 0;
    std::vector<Device> found;
    if (d2xx.createDeviceInfoList(&count) != FT_OK || count == 0) {
        return found;
    }
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    if (d2xx.getDeviceInfoList(nodes.data(), &count) != FT_OK) {
        return found;
    }
    for (DWORD i = 0; i < count && i < nodes.size(); ++i) {
        Device device;
        device.index = i;
        device.flags = nodes[i].Flags;
        device.type = nodes[i].Type;
        device.vendor = static_cast<std::uint16_t>(nodes[i].ID >> 16);
        device.product = static_cast<std::uint16_t>(nodes[i].ID & 0xFFFF);
        device.serial.assign(nodes[i].SerialNumber,
                             strnlen(nodes[i].SerialNumber, sizeof nodes[i].SerialNumber));
        device.description.assign(nodes[i].Description,
                                  strnlen(nodes[i].Description, sizeof nodes[i].Description));
        found.push_back(device);
    }
    return found;
}

}  // namespace port::d2xx
