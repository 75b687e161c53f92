// The port of the tests: records every operation instead of touching hardware and keeps
// time on a virtual clock, so tests check exact byte sequences and never sleep. It is
// the default port of every test executable that links it.
#include "support/RecordingPort.h"

#include "keypad/ParallelPort.h"
#include "keypad/VirtualClock.h"
#include "port/Registry.h"

namespace {

using portlib::recorder::Operation;

std::vector<Operation> log;
bool failing = false;
int writesBeforeFailure = -1;
bool initialised = false;

class RecordingPort : public port::Port {
  public:
    bool write(std::uint8_t byte) override {
        if (writesBeforeFailure == 0) {
            return false;
        }
        if (writesBeforeFailure > 0) {
            --writesBeforeFailure;
        }
        log.push_back({Operation::Kind::Write, byte});
        return true;
    }
    std::string failure() const override { return "the test recorder was unplugged"; }
    void close() override {}
    std::string describe() const override { return "the test recorder"; }
};

/// Waits advance the virtual clock at once, and are recorded in milliseconds.
class RecordingClock : public VirtualClock {
    void onWait(std::int64_t nanoseconds) override {
        log.push_back({Operation::Kind::Sleep, static_cast<std::uint32_t>(nanoseconds / 1000000)});
    }
};

RecordingClock virtualClock;

port::OpenResult open(const std::string& /*text*/) {
    // The port of a real run is initialised once per process; so is this one.
    if (!initialised || failing) {
        log.push_back({Operation::Kind::Init, failing ? 0U : 1U});
        initialised = !failing;
    }
    if (failing) {
        return port::OpenResult::unusable("the test recorder was told to fail");
    }
    return port::OpenResult::opened(std::make_unique<RecordingPort>());
}

const port::Backend recorderBackend{
    "recorder", [](const std::string& text) { return text == "recorder"; }, open, nullptr};

/// Makes the recorder the default port of the test executable, on the virtual clock.
const bool installed = [] {
    port::addBackend(&recorderBackend);
    port::setDefault("recorder");
    ParallelPort::useClock(&virtualClock);
    return true;
}();

}  // namespace

namespace portlib::recorder {

const std::vector<Operation>& operations() {
    (void)installed;
    return log;
}
void clear() {
    log.clear();
}
void failInitialisation(bool fail) {
    failing = fail;
}
void failAfterWrites(int writes) {
    writesBeforeFailure = writes;
}
std::int64_t virtualNow() {
    return virtualClock.nowNanoseconds() / 1000000;
}

}  // namespace portlib::recorder
