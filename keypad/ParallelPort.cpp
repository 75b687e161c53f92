#include "keypad/ParallelPort.h"

#include <algorithm>
#include <atomic>
#include <iostream>

#include "platform/Message.h"
#include "platform/PreciseSleep.h"
#include "port/Registry.h"

namespace {

/// The real clock: the monotonic clock, and waits that a signal ends.
class RealClock : public StrokeClock {
  public:
    std::int64_t nowNanoseconds() override { return precise_sleep::nowNanoseconds(); }
    signals::Event waitUntil(std::int64_t deadline) override {
        return signals::waitUntil(deadline);
    }
    signals::Event pending() override { return signals::poll(); }
};

RealClock realClock;
StrokeClock* strokeClock = &realClock;
// The open port, for the signal and crash handling that reaches it from outside.
ParallelPort* openPort = nullptr;
std::atomic<port::Port*> crashPort{nullptr};
ParallelPort::LeftBehindNote leftBehindNote = nullptr;

/// Says where the foot controller was left, when a procedure knows.
void sayWhereLeft() {
    if (leftBehindNote != nullptr) {
        const std::string line = leftBehindNote();
        if (!line.empty()) {
            std::cerr << message(line) << std::endl;
        }
    }
}

}  // namespace

ParallelPort::ParallelPort() = default;

void ParallelPort::setLeftBehindNote(LeftBehindNote note) {
    leftBehindNote = note;
}

StrokeClock* ParallelPort::useClock(StrokeClock* newClock) {
    StrokeClock* const before = strokeClock;
    strokeClock = newClock != nullptr ? newClock : &realClock;
    return before;
}

bool ParallelPort::ok() {
    if (!tried_) {
        tried_ = true;
        port::OpenResult result = port::open(port::chosen());
        if (result.status == port::OpenResult::Status::Opened) {
            port_ = std::move(result.port);
            wroteSinceOpen_ = false;
            lastDeadline_ = 0;
            openPort = this;
            crashPort.store(port_.get());
            signals::setHandler(&ParallelPort::onSignal);
            signals::setCrashHook(&ParallelPort::onCrash);
        } else {
            badText_ = result.status == port::OpenResult::Status::BadText;
            reason_ = badText_ ? "cannot use port '" + port::plainRunPort() + "': " + result.reason
                               : result.reason;
        }
    }
    return port_ != nullptr;
}

std::string ParallelPort::failureReason() const {
    return reason_;
}

void ParallelPort::write(std::int32_t value) {
    if (!ok() || failed_) {
        return;
    }
    const auto byte = static_cast<std::uint8_t>(value & 0xFF);
    if (!port_->write(byte)) {
        fail();
        return;
    }
    if (byte != last_ || !wroteSinceOpen_) {
        // The lines changed here: the next wait counts from this moment. Writes that only
        // repeat the value (the idle writes that frame a stroke) change nothing on them.
        const std::int64_t writtenAt = strokeClock == &realClock ? port_->writtenAt() : 0;
        lastChange_ = writtenAt != 0 ? writtenAt : strokeClock->nowNanoseconds();
    }
    last_ = byte;
    wroteSinceOpen_ = true;
    if (byte == port::kIdleByte) {
        signals::notePortHeld(false);
        if (pendingEnd_ != 0) {
            endBy(pendingEnd_);  // the signal came while this release was being written
        }
        if (pendingStop_ != 0) {
            // The stroke's code has been held in full and released: now the stop may come.
            const int number = pendingStop_;
            pendingStop_ = 0;
            signals::stopBy(number);
        }
    }
}

void ParallelPort::fail() {
    failed_ = true;
    const std::string failure = port_->failure();
    std::cerr << message(failure.empty() ? "the port " + port_->describe() + " failed" : failure)
              << std::endl;
    sayWhereLeft();
}

void ParallelPort::stroke(std::int32_t code, int holdMs, int gapMs) {
    if (!ok() || failed_) {
        return;
    }
    if (!port_->stroke(static_cast<std::uint8_t>(code & 0xFF), holdMs, gapMs)) {
        fail();
    }
}

void ParallelPort::wait(int milliseconds) {
    if (!ok() || failed_) {
        return;
    }
    // The pause counts from the end of the strokes handed over, not from their sending (such
    // a port takes no writes, so the wait counts from now).
    if (port_->timesStrokes() && !port_->settle()) {
        fail();
        return;
    }
    port_->waiting(milliseconds);
    // From the moment the lines last changed, but never before the previous wait ended: the
    // value then stays on the lines for every wait asked while it is there. Before the
    // first write, from now.
    const std::int64_t from =
        wroteSinceOpen_ ? std::max(lastChange_, lastDeadline_) : strokeClock->nowNanoseconds();
    const std::int64_t deadline = from + static_cast<std::int64_t>(milliseconds) * 1000000;
    lastDeadline_ = deadline;
    while (const signals::Event event = strokeClock->waitUntil(deadline)) {
        handle(event);
    }
    if (pendingEnd_ != 0) {
        // The key in hand has had its full hold: now release it and end.
        endBy(pendingEnd_);
    }
}

bool ParallelPort::readyForStroke() {
    if (!ok() || failed_) {
        return false;
    }
    signals::notePortHeld(true);
    while (const signals::Event event = strokeClock->pending()) {
        handle(event);
    }
    if (abandoned_) {
        signals::notePortHeld(false);
    }
    return !abandoned_;
}

void ParallelPort::release() {
    if (port_ != nullptr) {
        if (last_ != port::kIdleByte && !failed_) {
            port_->write(port::kIdleByte);
        }
        crashPort.store(nullptr);
        port_->close();
        port_.reset();
        openPort = nullptr;
        tried_ = false;  // a later use opens it again, afresh
        failed_ = false;
        signals::setHandler(nullptr);
    }
}

void ParallelPort::handle(signals::Event event) {
    if (pendingEnd_ != 0 || signals::ending() != 0) {
        return;  // already ending: the first signal decides, and says so once
    }
    if (event.kind == signals::Kind::Stop) {
        // Never freeze a held key: a stroke in progress finishes first.
        if (last_ == port::kIdleByte) {
            signals::stopBy(event.number);
        } else {
            pendingStop_ = event.number;
        }
        return;
    }
    if (interruptEndsLine_ && event.number == 2 /* SIGINT, Ctrl-C on every platform */) {
        if (!abandoned_) {
            abandoned_ = true;
            abandonedWhere_ = leftBehindNote != nullptr ? leftBehindNote() : std::string();
        }
        return;
    }
    if (port_ != nullptr && !failed_ && last_ != port::kIdleByte) {
        // A key is held: it keeps its full stroke, and the wait in progress ends the run.
        pendingEnd_ = event.number;
        signals::beginEnding(event.number);
        return;
    }
    endBy(event.number);
}

void ParallelPort::endBy(int number) {
    signals::beginEnding(number);
    if (port_ != nullptr && !failed_ && !port_->emergencyIdle()) {
        port_->write(port::kIdleByte);
    }
    if (port_ != nullptr) {
        crashPort.store(nullptr);
        port_->close();
    }
    sayWhereLeft();
    signals::dieBy(number);
}

void ParallelPort::onSignal(signals::Event event) {
    if (openPort != nullptr) {
        openPort->handle(event);
    } else if (event.kind == signals::Kind::Stop) {
        signals::stopBy(event.number);
    } else {
        signals::dieBy(event.number);
    }
}

void ParallelPort::onCrash() noexcept {
    if (port::Port* const port = crashPort.load()) {
        port->emergencyIdle();
    }
}
