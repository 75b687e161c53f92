#include "platform/linux/ParallelPorts.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace parallel_ports {

std::vector<KernelPort> kernelPorts() {
    std::vector<KernelPort> out;
    const char* const root = "/proc/sys/dev/parport";
    DIR* dir = opendir(root);
    if (dir == nullptr) {
        return out;
    }
    while (const dirent* entry = readdir(dir)) {
        int number = -1;
        char rest = 0;
        if (std::sscanf(entry->d_name, "parport%d%c", &number, &rest) != 1) {
            continue;
        }
        std::ifstream file(std::string(root) + "/" + entry->d_name + "/base-addr");
        unsigned long base = 0;
        if (file >> base) {
            out.push_back({number, static_cast<unsigned>(base)});
        }
    }
    closedir(dir);
    std::sort(out.begin(), out.end(),
              [](const KernelPort& a, const KernelPort& b) { return a.number < b.number; });
    return out;
}

KernelPort kernelPortAt(unsigned base) {
    for (const KernelPort& port : kernelPorts()) {
        if (port.base == base) {
            return port;
        }
    }
    return {-1, base};
}

std::string ioportsOwner(unsigned address) {
    std::ifstream file("/proc/ioports");
    std::string owner;
    for (std::string line; std::getline(file, line);) {
        unsigned first = 0, last = 0;
        char colon[4] = {};
        std::istringstream fields(line);
        fields >> std::hex >> first;
        if (fields.get() != '-' || !(fields >> std::hex >> last) ||
            std::sscanf(line.c_str(), "%*[^:]%3s", colon) != 1) {
            continue;
        }
        if (address >= first && address <= last) {
            // The innermost range is the one that names the driver (parport0 inside
            // "0378-037a : parport0").
            const std::size_t at = line.find(" : ");
            if (at != std::string::npos) {
                owner = line.substr(at + 3);
            }
        }
    }
    return owner;
}

bool ppdevLoaded() {
    return access("/sys/module/ppdev", F_OK) == 0 || access("/sys/class/ppdev", F_OK) == 0;
}

}  // namespace parallel_ports
