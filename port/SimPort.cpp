// The simulated port: always opens, and reports every operation on standard error as it
// happens, so a user can see exactly what would reach the foot controller and when:
//   [<t>] init | [<t>] out 0x378 0x<hh> | [<t>] sleep <n>
// <t> is milliseconds since the port opened, with three decimals. Waits are real.
#include <cstdint>

#include "platform/Console.h"
#include "platform/PreciseSleep.h"
#include "port/Port.h"
#include "port/Registry.h"

namespace port {
namespace {

const char* const kName = "sim";

/// A fixed-size trace line, built without allocation so that it can be written on the
/// way out of a signal as well.
class TraceLine {
  public:
    explicit TraceLine(std::int64_t elapsedNanos) noexcept {
        const std::uint64_t micros =
            elapsedNanos > 0 ? static_cast<std::uint64_t>(elapsedNanos) / 1000 : 0;
        text("[");
        number(micros / 1000, 10);
        text(".");
        number(micros % 1000, 10, 3);
        text("] ");
    }
    void text(const char* s) noexcept {
        while (*s != '\0' && length_ < sizeof buffer_) {
            buffer_[length_++] = *s++;
        }
    }
    void number(std::uint64_t value, unsigned base, int minDigits = 1) noexcept {
        static const char kDigits[] = "0123456789abcdef";
        char digits[24];
        int count = 0;
        do {
            digits[count++] = kDigits[value % base];
            value /= base;
        } while (value != 0 || count < minDigits);
        while (count > 0 && length_ < sizeof buffer_) {
            buffer_[length_++] = digits[--count];
        }
    }
    /// One write per line keeps lines whole.
    void emit() {
        text("\n");
        console::writeError(buffer_, length_);
    }
    /// As emit(), but drops the line rather than wait for room. Async-signal-safe.
    void emitNow() noexcept {
        text("\n");
        console::writeErrorNow(buffer_, length_);
    }

  private:
    char buffer_[64] = {};
    std::size_t length_ = 0;
};

class SimPort : public Port {
  public:
    SimPort() : start_(precise_sleep::nowNanoseconds()) {
        TraceLine line(0);
        line.text("init");
        line.emit();
    }
    bool write(std::uint8_t byte) override {
        writtenAt_ = precise_sleep::nowNanoseconds();
        TraceLine line(writtenAt_ - start_);
        line.text("out 0x378 0x");
        line.number(byte, 16, 2);
        line.emit();
        return true;
    }
    void waiting(int milliseconds) override {
        TraceLine line(precise_sleep::nowNanoseconds() - start_);
        line.text("sleep ");
        line.number(static_cast<std::uint64_t>(milliseconds < 0 ? 0 : milliseconds), 10);
        line.emit();
    }
    bool emergencyIdle() noexcept override {
        TraceLine line(precise_sleep::nowNanoseconds() - start_);
        line.text("out 0x378 0xff");
        line.emitNow();
        return true;
    }
    void close() override {}
    std::string describe() const override { return "the simulated port"; }
    // The moment the trace gives, not the end of writing the trace line: a wait then
    // lasts what it asked from one trace line to the next.
    std::int64_t writtenAt() const override { return writtenAt_; }

  private:
    std::int64_t start_;
    std::int64_t writtenAt_ = 0;
};

bool claimsText(const std::string& text) {
    return text == kName;
}

OpenResult openText(const std::string& /*text*/) {
    precise_sleep::prepare();
    return OpenResult::opened(std::make_unique<SimPort>());
}

}  // namespace

const char* const kForms = "sim\tthe simulated port: a trace on standard error";
extern const Backend simBackend{"sim", claimsText, openText, nullptr, nullptr, kForms};

}  // namespace port
