// Parallel ports on Windows at a base address (0x378, or a PCIe card's), through the
// WinIo port-access library. The library is loaded at run time, and only from the
// folder of pmc10.exe itself, by full path, so that no other folder can plant a DLL of
// that name. It needs administrator rights and finds its driver (WinIo64.sys or
// WinIo32.sys) next to the DLL. Runs at one address take turns: each holds the named
// mutex "pmc10-io-ADDRESS" (global, or per session where a global one is refused) for
// the whole run, and a second run says that it waits, and waits.
#include <windows.h>
// windows.h first: the set-up API needs its types.
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/Message.h"
#include "platform/PreciseSleep.h"
#include "platform/Signals.h"
#include "platform/windows/Library.h"
#include "port/IoAddress.h"
#include "port/Port.h"

namespace port {
namespace {

using windows_library::narrow;
using windows_library::resolve;

// The library's documented signatures; it exports the names undecorated.
using InitializeWinIoFunction = bool(__stdcall*)();
using SetPortValFunction = bool(__stdcall*)(WORD port, DWORD value, BYTE size);

#ifdef _WIN64
const wchar_t* const kLibrary = L"WinIo64.dll";
#else
const wchar_t* const kLibrary = L"WinIo32.dll";
#endif

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

class WinIoPort : public Port {
  public:
    WinIoPort(SetPortValFunction setPortVal, unsigned base, HANDLE turn)
        : setPortVal_(setPortVal), base_(base), turn_(turn) {}
    ~WinIoPort() override { close(); }
    bool write(std::uint8_t byte) override {
        setPortVal_(static_cast<WORD>(base_), byte, 1);  // its result says nothing useful
        return true;
    }
    void close() override {
        if (turn_ != nullptr) {
            ReleaseMutex(turn_);
            CloseHandle(turn_);
            turn_ = nullptr;
        }
    }
    std::string describe() const override { return "WinIo at " + hexAddress(base_); }

  private:
    SetPortValFunction setPortVal_;
    unsigned base_;
    HANDLE turn_;
};

/// Takes this address's turn: the named mutex, waited for while another run holds it.
/// Null, with the reason, when it cannot be had: then nothing may be written.
HANDLE takeTurn(unsigned base, std::string& reason) {
    const std::string name = "pmc10-io-" + hexAddress(base);
    HANDLE turn = CreateMutexA(nullptr, FALSE, ("Global\\" + name).c_str());
    if (turn == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
        turn = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    }
    if (turn == nullptr) {
        reason = "cannot create the lock " + name + " (error " + std::to_string(GetLastError()) +
                 "); nothing was sent";
        return nullptr;
    }
    constexpr std::int64_t kRetryNs = 20000000;
    bool said = false;
    for (;;) {
        // An abandoned mutex is a run that ended without giving it back: the turn is ours.
        const DWORD got = WaitForSingleObject(turn, 0);
        if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
            return turn;
        }
        if (got != WAIT_TIMEOUT) {
            reason = "cannot lock " + name + " (error " + std::to_string(GetLastError()) +
                     "); nothing was sent";
            CloseHandle(turn);
            return nullptr;
        }
        if (!said) {
            said = true;
            std::cerr << message(hexAddress(base) + " is in use by another run; waiting for it")
                      << std::endl;
        }
        if (const signals::Event event =
                signals::waitUntil(precise_sleep::nowNanoseconds() + kRetryNs)) {
            signals::dispatch(event);
        }
    }
}

bool claimsText(const std::string& text) {
    return looksLikeIoAddress(text);
}

std::string checkText(const std::string& text) {
    return checkIoAddress(text);
}

OpenResult openText(const std::string& text) {
    static SetPortValFunction setPortVal = nullptr;
    if (setPortVal == nullptr) {
        const std::wstring path = executableFolder() + kLibrary;
        const HMODULE library =
            LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (library == nullptr) {
            return OpenResult::unusable(
                "cannot load " + narrow(path) +
                " (put the WinIo library and its driver next to pmc10.exe)");
        }
        InitializeWinIoFunction initializeWinIo = nullptr;
        SetPortValFunction setPortValue = nullptr;
        if (!resolve(library, "InitializeWinIo", initializeWinIo) ||
            !resolve(library, "SetPortVal", setPortValue)) {
            return OpenResult::unusable(narrow(path) +
                                        " does not export InitializeWinIo and SetPortVal");
        }
        if (!initializeWinIo()) {
            return OpenResult::unusable(
                "InitializeWinIo failed (run as administrator, and let its driver load)");
        }
        setPortVal = setPortValue;
    }
    const unsigned base = parseIoAddress(text);
    std::string reason;
    HANDLE turn = takeTurn(base, reason);
    if (turn == nullptr) {
        return OpenResult::unusable(reason);
    }
    return OpenResult::opened(std::make_unique<WinIoPort>(setPortVal, base, turn));
}

/// Every LPT port Windows knows, with the first I/O range of its resources.
void listPorts(std::vector<PortInfo>& out) {
    const HDEVINFO devices =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        wchar_t name[256] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                               reinterpret_cast<PBYTE>(name), sizeof name,
                                               nullptr) ||
            std::wstring(name).find(L"LPT") == std::wstring::npos) {
            continue;
        }
        unsigned base = 0;
        LOG_CONF config = 0;
        if (CM_Get_First_Log_Conf(&config, device.DevInst, ALLOC_LOG_CONF) == CR_SUCCESS) {
            RES_DES range = 0;
            if (CM_Get_Next_Res_Des(&range, config, ResType_IO, nullptr, 0) == CR_SUCCESS) {
                IO_RESOURCE io{};
                if (CM_Get_Res_Des_Data(range, &io, sizeof io, 0) == CR_SUCCESS) {
                    base = static_cast<unsigned>(io.IO_Header.IOD_Alloc_Base);
                }
                CM_Free_Res_Des_Handle(range);
            }
            CM_Free_Log_Conf_Handle(config);
        }
        PortInfo info{base != 0 ? hexAddress(base) : "?", "parallel port (WinIo)", narrow(name),
                      base != 0, ""};
        if (base == 0) {
            info.note =
                "address unknown: Device Manager > Ports (COM & LPT) > the port > "
                "Properties > Resources, first I/O Range";
        }
        out.push_back(info);
    }
    SetupDiDestroyDeviceInfoList(devices);
}

}  // namespace

const char* const kForms = "0xADDR\tthe parallel port at that address, via WinIo";
extern const Backend winIoBackend{"winio", claimsText, openText, listPorts, checkText, kForms};

}  // namespace port
