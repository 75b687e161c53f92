#include "front/DryRun.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <vector>

#include "keypad/KeyCodes.h"
#include "keypad/ParallelPort.h"
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"
#include "keypad/VirtualClock.h"
#include "port/Port.h"
#include "port/Registry.h"

namespace dry_run {

const char* const kPortText = "dry-run";

namespace {

struct Stroke {
    std::int64_t startNanos;
    std::uint8_t code;
    std::string source;
};

VirtualClock virtualClock;
std::string currentSource;

/// The key name a listing gives a code: the word itself when it names that key, else the
/// first name of the code in the key table.
std::string keyName(std::uint8_t code, const std::string& source) {
    std::string upper = source;
    toUpperInPlace(upper);
    if (lookupKeyCode(upper) == code) {
        return upper;
    }
    for (const auto& entry : keyCodes) {
        if (entry.second == code) {
            return entry.first;
        }
    }
    return "?";
}

class DryRunPort : public port::Port {
  public:
    bool write(std::uint8_t byte) override {
        if (byte != port::kIdleByte) {
            strokes_.push_back({virtualClock.nowNanoseconds(), byte, currentSource});
        }
        return true;
    }
    void close() override {
        char line[160];
        for (const Stroke& stroke : strokes_) {
            std::snprintf(line, sizeof line, "%6.0f ms  %-12s 0x%02X  %s\n",
                          static_cast<double>(stroke.startNanos) / 1e6,
                          keyName(stroke.code, stroke.source).c_str(), stroke.code,
                          stroke.source.empty() ? "(way back)" : stroke.source.c_str());
            std::cout << line;
        }
        std::snprintf(line, sizeof line, "%zu strokes, total %.3f s\n", strokes_.size(),
                      static_cast<double>(virtualClock.nowNanoseconds()) / 1e9);
        std::cout << line << std::flush;
        strokes_.clear();
    }
    std::string describe() const override { return "the dry run"; }

  private:
    std::vector<Stroke> strokes_;
};

bool claims(const std::string& text) {
    return text == kPortText;
}

port::OpenResult open(const std::string& /*text*/) {
    return port::OpenResult::opened(std::make_unique<DryRunPort>());
}

const port::Backend backend{"dry-run", claims, open, nullptr};

}  // namespace

namespace {
bool started = false;
StrokeClock* clockBefore = nullptr;
std::string choiceBefore;
}  // namespace

void start() {
    static const bool registered = [] {
        port::addBackend(&backend);
        return true;
    }();
    (void)registered;
    started = true;
    // Whatever port an earlier run in this process left open is let go: this run's
    // strokes go to the dry-run port alone.
    if (Red10* const controller = existingInstance()) {
        controller->portLink().release();
    }
    choiceBefore = port::chosen();
    port::choose(kPortText);
    clockBefore = ParallelPort::useClock(&virtualClock);
}

void stop() {
    if (!started) {
        return;
    }
    started = false;
    port::choose(choiceBefore);
    ParallelPort::useClock(clockBefore);
}

void setSource(const std::string& word) {
    currentSource = word;
}

}  // namespace dry_run
