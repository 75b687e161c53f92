// Simulated port: always opens, and reports every operation on standard error as it
// happens, so a user can see exactly what would reach the foot controller and when:
//   [<t>] init | [<t>] out 0x378 0x<hh> | [<t>] sleep <n>
// <t> is milliseconds since initialisation with three decimals. Waits are real.
#include <unistd.h>

#include <csignal>
#include <cstdint>

#include "portlib/PortLibrary.h"
#include "portlib/PreciseSleep.h"

namespace {

volatile std::sig_atomic_t opened = 0;
std::int64_t startNanos = 0;
// Waits are measured from the last write, so a hold lasts from the write of the code.
std::int64_t lastWriteNanos = 0;

/// A fixed-size line built without allocation, so a signal handler can build one too.
class TraceLine {
  public:
    void text(const char* s) {
        while (*s != '\0' && length < sizeof(buffer)) {
            buffer[length++] = *s++;
        }
    }
    void number(std::uint64_t value, unsigned base, int minDigits = 1) {
        static const char kDigits[] = "0123456789abcdef";
        char digits[24];
        int count = 0;
        do {
            digits[count++] = kDigits[value % base];
            value /= base;
        } while (value != 0 || count < minDigits);
        while (count > 0 && length < sizeof(buffer)) {
            buffer[length++] = digits[--count];
        }
    }
    void emit() {
        text("\n");
        // One write(2) per line keeps lines whole even when a handler interrupts a line.
        ssize_t ignored = ::write(STDERR_FILENO, buffer, length);
        (void)ignored;
    }

  private:
    char buffer[64] = {};
    std::size_t length = 0;
};

TraceLine stampedLine(std::int64_t at = precise_sleep::nowNanoseconds()) {
    const std::int64_t elapsed = at - startNanos;
    const std::uint64_t micros = elapsed > 0 ? static_cast<std::uint64_t>(elapsed) / 1000 : 0;
    TraceLine line;
    line.text("[");
    line.number(micros / 1000, 10);
    line.text(".");
    line.number(micros % 1000, 10, 3);
    line.text("] ");
    return line;
}

}  // namespace

namespace portlib {

bool initialize() {
    precise_sleep::prepare();
    startNanos = precise_sleep::nowNanoseconds();
    opened = 1;
    TraceLine line = stampedLine();
    line.text("init");
    line.emit();
    return true;
}

void write(std::uint16_t address, std::uint32_t value, std::uint8_t /*size*/) {
    if (opened == 0) {
        return;
    }
    lastWriteNanos = precise_sleep::nowNanoseconds();
    TraceLine line = stampedLine(lastWriteNanos);
    line.text("out 0x");
    line.number(address, 16);
    line.text(" 0x");
    line.number(value & 0xFF, 16, 2);
    line.emit();
}

void sleep(int milliseconds) {
    TraceLine line = stampedLine();
    line.text("sleep ");
    line.number(static_cast<std::uint64_t>(milliseconds < 0 ? 0 : milliseconds), 10);
    line.emit();
    precise_sleep::sleepFrom(lastWriteNanos, milliseconds);
}

std::string failureReason() {
    return {};
}

}  // namespace portlib
