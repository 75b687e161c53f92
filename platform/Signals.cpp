// What the run does with a signal event, the same on every platform.
#include "platform/Signals.h"

namespace signals {
namespace {
Handler handler = nullptr;
int endingBy = 0;
}  // namespace

void beginEnding(int number) {
    if (endingBy == 0) {
        endingBy = number;
    }
}

int ending() {
    return endingBy;
}

void setHandler(Handler newHandler) {
    handler = newHandler;
}

void dispatch(Event event) {
    if (!event || endingBy != 0) {
        return;
    }
    if (handler != nullptr) {
        handler(event);
    } else if (event.kind == Kind::Stop) {
        stopBy(event.number);
    } else {
        dieBy(event.number);
    }
}

}  // namespace signals
