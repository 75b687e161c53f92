// The pmc10 board on Windows: "board:COM3". Only a COM port's name is taken (COM1 to
// COM256), opened exclusively through its \\.\ device path, never as a file; it is set to
// 57600 baud, 8 data bits, no parity, no flow control.
#include <windows.h>
// windows.h first: the set-up API needs its types.
#include <devguid.h>
#include <setupapi.h>

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Board.h"
#include "platform/BoardText.h"
#include "platform/PreciseSleep.h"
#include "platform/Signals.h"
#include "port/Port.h"

namespace {

const char* const kPrefix = "board:";

std::string comName(const std::string& text) {
    std::string name = text.substr(6);
    for (char& c : name) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return name;
}

bool claimsText(const std::string& text) {
    return text.rfind(kPrefix, 0) == 0;
}

std::string checkText(const std::string& text) {
    const std::string name = comName(text);
    const bool digits = name.size() > 3 && name.size() <= 6 &&
                        name.find_first_not_of("0123456789", 3) == std::string::npos;
    if (name.rfind("COM", 0) != 0 || !digits || name[3] == '0' || std::stoi(name.substr(3)) > 256) {
        return "a board's port is a COM port, as in board:COM3";
    }
    return {};
}

std::string systemMessage(DWORD error) {
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

class ComLine : public board::SerialLine {
  public:
    explicit ComLine(HANDLE handle) : handle_(handle) {}
    ~ComLine() override { closeHandle(); }

    bool send(const std::uint8_t* data, std::size_t size) override {
        DWORD wrote = 0;
        if (!WriteFile(handle_, data, static_cast<DWORD>(size), &wrote, nullptr) || wrote != size) {
            error_ = wrote != size ? ERROR_TIMEOUT : GetLastError();
            return false;
        }
        return true;
    }

    int receive(std::uint8_t* data, std::size_t size, int timeoutMs, bool /*quiet*/) override {
        // Signals arrive on their own thread and are taken when the stroke returns.
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(timeoutMs > 0 ? timeoutMs : 1);
        timeouts.WriteTotalTimeoutConstant = 1000;
        DWORD got = 0;
        if (!SetCommTimeouts(handle_, &timeouts) ||
            !ReadFile(handle_, data, static_cast<DWORD>(size), &got, nullptr)) {
            error_ = GetLastError();
            return -1;
        }
        return static_cast<int>(got);
    }

    std::int64_t nowMs() override { return precise_sleep::nowNanoseconds() / 1000000; }

    std::string lastError() const override { return systemMessage(error_); }

    void close() override { closeHandle(); }

  private:
    void closeHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

    HANDLE handle_;
    DWORD error_ = 0;
};

port::OpenResult openText(const std::string& text) {
    const std::string name = comName(text);
    const std::string path = "\\\\.\\" + name;
    // No sharing: a second run (or another program) gets ERROR_ACCESS_DENIED.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return port::OpenResult::unusable("there is no " + name +
                                              " (pmc10 --list-ports shows the ports here)");
        }
        return port::OpenResult::unusable(
            "cannot open " + name + ": " + systemMessage(error) +
            (error == ERROR_ACCESS_DENIED ? " (another program or pmc10 run has it)" : ""));
    }
    auto line = std::make_unique<ComLine>(handle);
    if (GetFileType(handle) != FILE_TYPE_CHAR) {
        return port::OpenResult::badText(name + " is not a serial port");
    }
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handle, &settings)) {
        return port::OpenResult::badText(name + " is not a serial port");
    }
    settings.BaudRate = 57600;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fNull = FALSE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fAbortOnError = FALSE;
    if (!SetCommState(handle, &settings)) {
        return port::OpenResult::unusable("cannot set up " + name + ": " +
                                          systemMessage(GetLastError()));
    }
    PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return board::greetAndOpen(std::move(line), name);
}

/// The four hex digits after `key` ("VID_") in a hardware ID, lower case; empty if absent.
std::string idAfter(const std::string& hardwareId, const char* key) {
    const auto at = hardwareId.find(key);
    if (at == std::string::npos || at + 8 > hardwareId.size()) {
        return {};
    }
    std::string id = hardwareId.substr(at + 4, 4);
    for (char& c : id) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return id;
}

/// Every COM port whose USB IDs are those of a usual board; never opened (see the note).
void listBoards(std::vector<port::PortInfo>& out) {
    const HDEVINFO devices =
        SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        char ids[1024] = {};
        if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID, nullptr,
                                               reinterpret_cast<PBYTE>(ids), sizeof ids - 2,
                                               nullptr)) {
            continue;
        }
        const std::string hardwareId = ids;  // the first, most specific one
        const std::string vendor = idAfter(hardwareId, "VID_");
        const std::string product = idAfter(hardwareId, "PID_");
        const char* usual = board::usualBoard(vendor, product);
        if (usual == nullptr) {
            continue;
        }
        char name[64] = {};
        DWORD size = sizeof name - 1;
        const HKEY key =
            SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        const bool named = RegQueryValueExA(key, "PortName", nullptr, nullptr,
                                            reinterpret_cast<LPBYTE>(name), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (!named || checkText(std::string(kPrefix) + name) != "") {
            continue;
        }
        port::PortInfo info;
        info.name = std::string(kPrefix) + name;
        info.kind = board::listedKind(usual);
        info.detail = vendor + ":" + product;
        info.usable = true;
        info.note = board::notAskedNote(info.name);
        out.push_back(std::move(info));
    }
    SetupDiDestroyDeviceInfoList(devices);
}

}  // namespace

namespace board {

std::string firmwarePath() {
    // The zip keeps it in a folder next to pmc10.exe.
    char exe[MAX_PATH] = {};
    const DWORD size = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string folder(exe, size);
    folder = folder.substr(0, folder.find_last_of("\\/") + 1);
    return folder + "firmware\\pmc10-board.hex";
}

}  // namespace board

namespace port {
const char* const kForms = "board:COMN\ta pmc10 board (ATmega328P) that strokes the keys itself";
extern const Backend boardBackend{"board", claimsText, openText, listBoards, checkText, kForms};
}  // namespace port
