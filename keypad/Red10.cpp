#include "keypad/Red10.h"

#include "commands/CompoundCommands.h"
#include "portlib/PortLibrary.h"

namespace {
constexpr int kKeyDelayMs = 15;
}

Red10& instance() {
    // Never destroyed: the port stays open until the process ends, including when an
    // interrupt ends it.
    static Red10* const controller = new Red10();
    return *controller;
}

Red10::Red10() {
    portReady = port.ok();
    fillTables();
    setKeyDelay(kKeyDelayMs);
}

void Red10::fillTables() {
    fillKeyCodes();
    fillCompoundCommands();
}

void Red10::writeIdle() {
    port.write(kIdle);
}

void Red10::pulsePort(KeyCode value) {
    writeIdle();
    port.write(value);
    portlib::sleep(keyDelay);
    writeIdle();
}

void Red10::sendKey(KeyCode code) {
    pulsePort(code);
    pulsePort(kIdle);
}
