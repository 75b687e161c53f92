#include "keypad/Red10.h"

#include "commands/CompoundCommands.h"
#include "keypad/StrokeShape.h"

namespace {
Red10* created = nullptr;
}

Red10& instance() {
    // Never destroyed: the port stays open until the run releases it or the process ends.
    static Red10* const controller = created = new Red10();
    return *controller;
}

Red10* existingInstance() {
    return created;
}

// The port opens on first use, not here: a run that strokes nothing (the listing, a
// refused number) never waits for a port that another run holds.
Red10::Red10() {
    fillTables();
    setKeyDelay(stroke_shape::kKeyDelayMs);
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
    port.wait(keyDelay);
    writeIdle();
}

void Red10::sendKey(KeyCode code) {
    // A failed port or an abandoned line strokes nothing more, not even half a stroke.
    if (!port.readyForStroke()) {
        return;
    }
    // A device that times strokes itself takes the whole stroke at once.
    if (port.timesStrokes()) {
        port.stroke(code, keyDelay, keyDelay);
        return;
    }
    pulsePort(code);
    pulsePort(kIdle);
}
