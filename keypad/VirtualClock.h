// Time that passes only when it is waited for: each wait ends at once at its deadline.
// The dry run lists strokes at the times the real schedule gives them, and the tests run
// the whole tool without sleeping.
#pragma once

#include <cstdint>

#include "keypad/ParallelPort.h"

class VirtualClock : public StrokeClock {
  public:
    std::int64_t nowNanoseconds() override { return now_; }
    signals::Event waitUntil(std::int64_t deadline) override {
        const std::int64_t waited = deadline > now_ ? deadline - now_ : 0;
        now_ += waited;
        onWait(waited);
        return {};
    }
    signals::Event pending() override { return {}; }

  protected:
    /// Each wait, as it ends: `nanoseconds` of virtual time passed.
    virtual void onWait(std::int64_t /*nanoseconds*/) {}

  private:
    std::int64_t now_ = 0;
};
