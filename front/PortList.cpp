#include "front/PortList.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "platform/Message.h"
#include "port/Registry.h"

namespace {

/// What a user can do when no port is found at all, one fix per line.
const char* const kNoPortHints[] = {
#if defined(_WIN32)
    "a parallel port or PCIe card: find its address in Device Manager (Ports (COM & "
    "LPT) > the port > Properties > Resources, first I/O Range), then pmc10 --port 0xADDR",
#else
    "a parallel port on the board: enable it in the BIOS, then sudo modprobe parport_pc "
    "ppdev",
    "a PCIe parallel card: lspci -v shows its I/O ports; sudo modprobe parport_pc "
    "io=0x...",
#endif
    "a USB FTDI adapter or four GPIO lines: see \"Which port?\" in the pmc10 README",
};

const char* const kSim = "sim";

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

}  // namespace

int printPortList() {
    std::vector<port::PortInfo> ports = port::list();
    const std::string plain = port::plainRunPort();
    if (ports.empty() && plain != kSim) {
        std::cout << "No port found on this machine." << std::endl;
        for (const char* hint : kNoPortHints) {
            std::cout << message(hint) << std::endl;
        }
        std::cout << message("to try things with no hardware: --port sim, the simulated port")
                  << std::endl;
        return 1;
    }
    // Last, the simulated port: it is always there, but is no port of this machine.
    ports.push_back({kSim, "simulated", "trace on standard error", plain == kSim,
                     "for trying things with no hardware"});
    std::size_t nameWidth = 4, kindWidth = 4, detailWidth = 5;
    for (const port::PortInfo& info : ports) {
        nameWidth = std::max(nameWidth, info.name.size());
        kindWidth = std::max(kindWidth, info.kind.size());
        detailWidth = std::max(detailWidth, info.detail.size());
    }
    std::cout << padded("PORT", nameWidth) << "  " << padded("KIND", kindWidth) << "  "
              << padded("WHERE", detailWidth) << "  STATE" << std::endl;
    bool anyUsable = false;
    for (const port::PortInfo& info : ports) {
        const bool isDefault =
            info.name == plain || (plain.rfind("parport", 0) == 0 && info.name == "/dev/" + plain);
        const bool simulated = info.name == kSim;
        std::string state = info.usable || simulated ? "ready" : "not usable: " + info.note;
        if ((info.usable || simulated) && !info.note.empty()) {
            state += " (" + info.note + ")";
        }
        if (isDefault) {
            state = "default, " + state;
        }
        std::cout << padded(info.name, nameWidth) << "  " << padded(info.kind, kindWidth) << "  "
                  << padded(info.detail, detailWidth) << "  " << state << std::endl;
        anyUsable = anyUsable || info.usable;
    }
    return anyUsable ? 0 : 1;
}
