// Port library for the tests: records every call instead of touching hardware and keeps
// time on a virtual clock, so tests check exact byte sequences and never sleep.
#include "portlib/PortLibrary.h"
#include "portlib/RecordingPort.h"

namespace {

std::vector<portlib::recorder::Operation> log;
bool failing = false;
std::int64_t clockMs = 0;

}  // namespace

namespace portlib {

bool initialize() {
    log.push_back({recorder::Operation::Kind::Init, failing ? 0U : 1U, 0, 0});
    return !failing;
}

// Writes are recorded even when initialisation failed: tests must see that none is made.
void write(std::uint16_t address, std::uint32_t value, std::uint8_t size) {
    log.push_back({recorder::Operation::Kind::Write, value, address, size});
}

void sleep(int milliseconds) {
    log.push_back(
        {recorder::Operation::Kind::Sleep, static_cast<std::uint32_t>(milliseconds), 0, 0});
    clockMs += milliseconds;
}

std::string failureReason() {
    return failing ? "pmc10: the test recorder was told to fail" : "";
}

namespace recorder {

const std::vector<Operation>& operations() {
    return log;
}
void clear() {
    log.clear();
}
void failInitialisation(bool fail) {
    failing = fail;
}
std::int64_t virtualNow() {
    return clockMs;
}

}  // namespace recorder
}  // namespace portlib
