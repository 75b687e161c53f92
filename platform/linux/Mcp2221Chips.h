// The MCP2221As plugged in, as sysfs shows them, and their lines in the port listing. A
// chip that the kernel's hid-mcp2221 driver holds has no hidraw node (the driver connects
// none): it is listed with the way to free it, and never taken from the driver.
#pragma once

#include <string>
#include <vector>

#include "port/Port.h"

namespace port::mcp2221 {

constexpr unsigned kVendor = 0x04D8;
constexpr unsigned kProduct = 0x00DD;
constexpr const char* kPrefix = "mcp2221";

/// What to do about a node this user may not open.
extern const char* const kAccessHint;
/// Why a chip without a hidraw node cannot be used, and what to do about it.
extern const char* const kHeldByDriver;

/// Whether the HID device of a sysfs folder is an MCP2221A on USB, from its
/// "HID_ID=0003:000004D8:000000DD" line.
bool isChip(const std::string& hidDevice);

/// One MCP2221A plugged in: its hidraw node, empty where the kernel's hid-mcp2221 driver
/// holds it (that driver gives none), and its serial number.
struct Chip {
    std::string node;
    std::string serial;
};

/// The MCP2221As plugged in, those with a hidraw node first, in node number order.
std::vector<Chip> chips();

/// Appends the MCP2221As plugged in to the port listing.
void listChips(std::vector<PortInfo>& out);

}  // namespace port::mcp2221
