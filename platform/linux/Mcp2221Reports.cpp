#include "platform/linux/Mcp2221Reports.h"

namespace port::mcp2221 {
namespace {

// Set GPIO Output Values: four bytes per pin from byte 2 (alter value, value, alter
// direction, direction); a pin that is not a GPIO answers 0xEE.
constexpr std::size_t kGpioFirst = 2;
constexpr std::uint8_t kNotGpio = 0xEE;
// Set SRAM Settings: byte 7's top bit takes the pins' settings from bytes 8 to 11, each
// the output value (bit 4), the direction (bit 3, 1 = input) and the function (bits 0-2,
// 0 = GPIO).
constexpr std::size_t kSramAlterPins = 7;
constexpr std::size_t kSramPins = 8;
constexpr std::uint8_t kGpioOutputHigh = 0x10;

}  // namespace

Request command(std::uint8_t code) {
    Request request{};
    request[1] = code;
    return request;
}

Request gpioValues(std::uint8_t byte) {
    Request request = command(kSetGpioValues);
    for (std::size_t pin = 0; pin < kPins; ++pin) {
        request[1 + kGpioFirst + 4 * pin] = 1;
        request[1 + kGpioFirst + 4 * pin + 1] = static_cast<std::uint8_t>((byte >> pin) & 1U);
    }
    return request;
}

Request idleOutputs() {
    Request settings = command(kSetSram);
    settings[1 + kSramAlterPins] = 0x80;
    for (std::size_t pin = 0; pin < kPins; ++pin) {
        settings[1 + kSramPins + pin] = kGpioOutputHigh;
    }
    return settings;
}

std::size_t notGpio(const Answer& answer) {
    std::size_t pin = 0;
    while (pin < kPins && answer[kGpioFirst + 4 * pin] != kNotGpio) {
        ++pin;
    }
    return pin;
}

std::size_t notIdleOutput(const Answer& answer) {
    std::size_t pin = 0;
    // Per pin: its level, then its direction (0 = output).
    while (pin < kPins && answer[2 + 2 * pin] == 1 && answer[3 + 2 * pin] == 0) {
        ++pin;
    }
    return pin;
}

}  // namespace port::mcp2221
