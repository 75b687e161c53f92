#include "platform/linux/Mcp2221Chips.h"

#include <dirent.h>
#include <linux/input.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace port::mcp2221 {
namespace {

std::string readLine(const std::string& path, const std::string& key) {
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(key, 0) == 0) {
            return line.substr(key.size());
        }
    }
    return {};
}

}  // namespace

const char* const kAccessHint =
    " (install the udev rule 60-pmc10-gpio.rules for the group plugdev, then log in again)";

const char* const kHeldByDriver =
    "the kernel's hid-mcp2221 driver holds it and gives no hidraw node: unload it (sudo "
    "modprobe -r hid_mcp2221) and plug the adapter in again, or use its gpiochip (one line "
    "at a time)";

bool isChip(const std::string& hidDevice) {
    unsigned bus = 0, vendor = 0, product = 0;
    const std::string id = readLine(hidDevice + "/uevent", "HID_ID=");
    return std::sscanf(id.c_str(), "%x:%x:%x", &bus, &vendor, &product) == 3 && bus == BUS_USB &&
           vendor == kVendor && product == kProduct;
}

std::vector<Chip> chips() {
    std::vector<std::pair<unsigned long, Chip>> found;
    const std::string bus = "/sys/bus/hid/devices/";
    if (DIR* dir = opendir(bus.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string device = bus + entry->d_name;
            if (entry->d_name[0] == '.' || !isChip(device)) {
                continue;
            }
            Chip chip{{}, readLine(device + "/uevent", "HID_UNIQ=")};
            unsigned long number = ~0UL;
            if (DIR* raw = opendir((device + "/hidraw").c_str())) {
                while (const dirent* node = readdir(raw)) {
                    const std::string name = node->d_name;
                    if (name.rfind("hidraw", 0) == 0 && name.size() > 6 &&
                        name.find_first_not_of("0123456789", 6) == std::string::npos) {
                        chip.node = "/dev/" + name;
                        number = std::stoul(name.substr(6));
                    }
                }
                closedir(raw);
            }
            found.emplace_back(number, std::move(chip));
        }
        closedir(dir);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Chip> out;
    out.reserve(found.size());
    for (auto& entry : found) {
        out.push_back(std::move(entry.second));
    }
    return out;
}

void listChips(std::vector<PortInfo>& out) {
    for (const Chip& chip : chips()) {
        PortInfo info{std::string(kPrefix) + (chip.node.empty() ? "" : ":" + chip.node),
                      "MCP2221A (hidraw)",
                      "04d8:00dd" + (chip.serial.empty() ? "" : " serial " + chip.serial), true,
                      "D0-D3 = GP0-GP3, all four changed at once"};
        if (chip.node.empty()) {
            info.usable = false;
            info.note = kHeldByDriver;
        } else if (access(chip.node.c_str(), R_OK | W_OK) != 0) {
            info.usable = false;
            info.note = std::string("no access") + kAccessHint;
        }
        out.push_back(std::move(info));
    }
}

}  // namespace port::mcp2221
