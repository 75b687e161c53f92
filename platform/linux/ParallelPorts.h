// What the kernel says about the parallel ports of this machine, for the port backends
// and their listing: which ports its parport driver runs, at which base addresses.
#pragma once

#include <string>
#include <vector>

namespace parallel_ports {

/// One port run by the kernel's parport driver: parportN and its base address.
struct KernelPort {
    int number;
    unsigned base;
};

/// The ports in /proc/sys/dev/parport, in number order.
std::vector<KernelPort> kernelPorts();

/// The kernel port whose registers start at `base`; number -1 when none does.
KernelPort kernelPortAt(unsigned base);

/// The driver that holds I/O address `address` in /proc/ioports, or empty text.
std::string ioportsOwner(unsigned address);

/// Whether the ppdev module is loaded (or built in).
bool ppdevLoaded();

}  // namespace parallel_ports
