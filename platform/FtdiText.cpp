#include "platform/FtdiText.h"

#include <cstdio>

namespace ftdi_text {
namespace {

const char* const kPrefix = "ftdi:";
const char* const kKnownIds = "0403:6001, 6010, 6011, 6014 or 6015";
const char* const kForms =
    "use ftdi, ftdi:s:VID:PID:SERIAL, ftdi:i:VID:PID[:INDEX] or ftdi:d:BUS/DEVICE";

/// One to four hex digits, with or without 0x; consumes them from `rest`.
bool takeHexId(std::string& rest, std::uint16_t& id) {
    std::size_t at = 0;
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        at = 2;
    }
    unsigned value = 0;
    std::size_t digits = 0;
    for (; at < rest.size() && rest[at] != ':'; ++at, ++digits) {
        const char c = rest[at];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = value * 16 + digit;
    }
    if (digits == 0 || digits > 4) {
        return false;
    }
    id = static_cast<std::uint16_t>(value);
    rest.erase(0, at);
    return true;
}

/// Decimal digits only, up to `limit`; the whole of `digits`.
bool decimal(const std::string& digits, unsigned limit, unsigned& value) {
    if (digits.empty() || digits.size() > 5) {
        return false;
    }
    value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= limit;
}

/// "VID:PID" at the start of `rest`, consumed with the ':' that ends it, if any.
bool takeIds(std::string& rest, Selector& selector) {
    if (!takeHexId(rest, selector.vendor) || rest.empty() || rest[0] != ':') {
        return false;
    }
    rest.erase(0, 1);
    if (!takeHexId(rest, selector.product)) {
        return false;
    }
    if (!rest.empty()) {
        rest.erase(0, 1);  // the ':' takeHexId stopped at
        if (rest.empty()) {
            return false;  // "VID:PID:" with nothing after
        }
    }
    return true;
}

/// The selector, when its IDs are FTDI's own: a device with other IDs is not a chip this
/// tool can drive, and taking it from its driver could break it.
std::optional<Selector> ftdiIds(const Selector& selector, std::string& why) {
    if (!isFtdiProduct(selector.vendor, selector.product)) {
        why = ids(selector.vendor, selector.product) + " is not an FTDI adapter (" + kKnownIds +
              "); pmc10 leaves other devices alone";
        return std::nullopt;
    }
    return selector;
}

}  // namespace

bool isFtdiProduct(std::uint16_t vendor, std::uint16_t product) {
    if (vendor != kFtdiVendor) {
        return false;
    }
    for (const std::uint16_t known : kFtdiProducts) {
        if (product == known) {
            return true;
        }
    }
    return false;
}

Chip chipOf(std::uint16_t vendor, std::uint16_t product, std::uint16_t release, bool hasSerial) {
    static const struct {
        std::uint16_t product;
        std::uint16_t release;
        Chip chip;
    } known[] = {
        {0x6001, 0x0400, Chip::BM},      {0x6001, 0x0600, Chip::R},
        {0x6010, 0x0500, Chip::FT2232C}, {0x6010, 0x0700, Chip::FT2232H},
        {0x6011, 0x0800, Chip::FT4232H}, {0x6014, 0x0900, Chip::FT232H},
        {0x6015, 0x1000, Chip::X},
    };
    if (vendor != kFtdiVendor) {
        return Chip::None;
    }
    if (product == 0x6001 && release == 0x0200 && !hasSerial) {
        return Chip::BM;
    }
    for (const auto& each : known) {
        if (each.product == product && each.release == release) {
            return each.chip;
        }
    }
    return Chip::None;
}

bool claims(const std::string& text) {
    return text == "ftdi" || text.rfind(kPrefix, 0) == 0;
}

std::optional<Selector> parse(const std::string& text, std::string& why) {
    Selector selector;
    if (text == "ftdi") {
        return selector;
    }
    if (!claims(text) || text.size() < 7 || text[6] != ':') {
        why = kForms;
        return std::nullopt;
    }
    const char form = text[5];
    std::string rest = text.substr(7);
    switch (form) {
        case 's':
            selector.kind = Selector::Kind::Serial;
            if (!takeIds(rest, selector) || rest.empty()) {
                why = "write a serial number as ftdi:s:VID:PID:SERIAL, VID and PID in hex";
                return std::nullopt;
            }
            selector.serial = rest;
            return ftdiIds(selector, why);
        case 'i': {
            selector.kind = Selector::Kind::Index;
            if (!takeIds(rest, selector) ||
                (!rest.empty() && !decimal(rest, 999, selector.index))) {
                why = "write an index as ftdi:i:VID:PID[:INDEX], VID and PID in hex, INDEX from 0";
                return std::nullopt;
            }
            return ftdiIds(selector, why);
        }
        case 'd': {
            selector.kind = Selector::Kind::BusDevice;
            const std::size_t slash = rest.find('/');
            if (slash == std::string::npos || !decimal(rest.substr(0, slash), 255, selector.bus) ||
                !decimal(rest.substr(slash + 1), 255, selector.device) || selector.bus == 0 ||
                selector.device == 0) {
                why = "write a USB device as ftdi:d:BUS/DEVICE, e.g. ftdi:d:001/004";
                return std::nullopt;
            }
            return selector;
        }
        default:
            why = kForms;
            return std::nullopt;
    }
}

std::string ids(std::uint16_t vendor, std::uint16_t product) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendor, product);
    return text;
}

std::string selecting(std::uint16_t vendor, std::uint16_t product, const std::string& serial,
                      const std::string& fallback) {
    if (serial.empty()) {
        return fallback;
    }
    return "ftdi:s:" + ids(vendor, product) + ":" + serial;
}

}  // namespace ftdi_text
