// The controller's key strokes: idle, a code held one key delay, idle again.
#include "keypad/Red10.h"

#include "keypad/StrokeShape.h"

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
    for (const stroke_shape::Step step : stroke_shape::kStroke) {
        switch (step) {
            case stroke_shape::Step::WriteIdle:
                writeIdle();
                break;
            case stroke_shape::Step::WriteCode:
                port.write(code);
                break;
            case stroke_shape::Step::Wait:
                port.wait(keyDelay);
                break;
        }
    }
}
