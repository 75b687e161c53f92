// PORT texts that are I/O base addresses ("0x378", a PCIe card's "0xd010"), shared by the
// backends that reach a port by its address (direct I/O on Linux, WinIo on Windows).
#pragma once

#include <string>

namespace port {

/// Whether `text` has the form of an address ("0x" or "0X" first).
bool looksLikeIoAddress(const std::string& text);

/// Empty when `text` is an address a parallel port can have (0x100 to 0xfffc, the PC's
/// own devices live below, and a multiple of 4); else why not.
std::string checkIoAddress(const std::string& text);

/// The address of a text that checkIoAddress accepted.
unsigned parseIoAddress(const std::string& text);

/// "0x378": an address as the listing and --port write it.
std::string hexAddress(unsigned address);

}  // namespace port
