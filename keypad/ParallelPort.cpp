#include "keypad/ParallelPort.h"

#include "portlib/PortLibrary.h"

ParallelPort::ParallelPort() : ok_(portlib::initialize()) {}

void ParallelPort::write(std::int32_t value) {
    portlib::write(kAddress, static_cast<std::uint32_t>(value), 1);
}

std::string ParallelPort::failureReason() const {
    return ok_ ? std::string() : portlib::failureReason();
}
