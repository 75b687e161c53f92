// The PORT texts that choose a USB FTDI adapter, shared by the libftdi backend (Linux) and
// the D2XX backend (Windows):
//
//   ftdi                         the first adapter found with one of FTDI's own IDs
//   ftdi:s:VID:PID:SERIAL        the adapter with that serial number
//   ftdi:i:VID:PID[:INDEX]       the INDEX-th adapter (from 0) with that VID:PID
//   ftdi:d:BUS/DEVICE            the USB device at that bus and device number (Linux)
//
// These are libftdi's device strings behind "ftdi:", but for the IDs: VID and PID are
// always hexadecimal here, with or without "0x" ("i:0403:6001" means FTDI's FT232R, where
// libftdi itself would read a leading 0 as octal), and only FTDI's own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ftdi_text {

/// The IDs FTDI's own adapters come with: FT232R/FT245R, FT2232, FT4232, FT232H, FT-X.
constexpr std::uint16_t kFtdiVendor = 0x0403;
constexpr std::uint16_t kFtdiProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

bool isFtdiProduct(std::uint16_t vendor, std::uint16_t product);

/// The FTDI chips that have an asynchronous bit-bang mode, told apart by FTDI's IDs and the
/// release number (bcdDevice) in their device descriptor.
enum class Chip { None, BM, FT2232C, R, FT2232H, FT4232H, FT232H, X };

/// The chip a device descriptor describes, or Chip::None for any other device: a device
/// with other IDs, one whose release number no such chip has (a hub, a microcontroller
/// that borrowed the IDs), or the FT8U232AM, which has no bit-bang mode. `hasSerial`:
/// whether the descriptor names a serial-number string (a BM chip without one reports
/// the AM's release number).
Chip chipOf(std::uint16_t vendor, std::uint16_t product, std::uint16_t release, bool hasSerial);

struct Selector {
    enum class Kind { First, Serial, Index, BusDevice } kind = Kind::First;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::string serial;
    unsigned index = 0;
    unsigned bus = 0;
    unsigned device = 0;
};

/// True for "ftdi" and for every text starting with "ftdi:", valid or not.
bool claims(const std::string& text);

/// The selector a claimed text stands for; nothing when the text is malformed or its IDs
/// are not one of FTDI's own (such a device is never opened), with `why` set to the reason
/// (for "cannot use port '<text>': <why>").
std::optional<Selector> parse(const std::string& text, std::string& why);

/// "0403:6001": an ID pair as the texts and the listings write it.
std::string ids(std::uint16_t vendor, std::uint16_t product);

/// The text that selects one adapter: by serial number where it has one, else `fallback`.
std::string selecting(std::uint16_t vendor, std::uint16_t product, const std::string& serial,
                      const std::string& fallback);

}  // namespace ftdi_text
