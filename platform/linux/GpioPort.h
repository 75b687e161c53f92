// Four GPIO lines as the port (Linux): a Raspberry Pi's header, a USB MCP2221A, any
// gpiochip. Line i of the four carries bit i of each byte (D0 first).
#pragma once

#include <string>
#include <vector>

namespace port::gpio {

/// A "gpio:..." PORT text taken apart, before any device is touched.
struct Text {
    /// A chip name (gpiochip0), a path (/dev/gpiochip0) or a chip label; empty when the
    /// lines are named and may be on any chip.
    std::string chip;
    /// The four lines, D0 first: offsets on the chip (digits) or line names.
    std::vector<std::string> lines;
    bool activeLow = false;
    bool openDrain = false;
};

/// Parses `text` ("gpio:CHIP:L0,L1,L2,L3" or "gpio:NAME0,NAME1,NAME2,NAME3", each with
/// options after ';'). False with `error` set to what is wrong when it is not valid.
bool parse(const std::string& text, Text& out, std::string& error);

}  // namespace port::gpio
