// The MCP2221A's commands that drive its GP pins: the reports built and the answers read.
// The chip's command set: one 64-byte report out, one 64-byte report back, the command
// code first in both; the second byte of the answer is 0 when the command was carried out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace port::mcp2221 {

constexpr std::size_t kPins = 4;
constexpr std::uint8_t kSetGpioValues = 0x50;
constexpr std::uint8_t kGetGpioValues = 0x51;
constexpr std::uint8_t kSetSram = 0x60;
constexpr std::size_t kReport = 64;

/// A report as written to hidraw: the report number 0 (the chip numbers none), then the
/// 64 bytes of the command.
using Request = std::array<std::uint8_t, kReport + 1>;
using Answer = std::array<std::uint8_t, kReport>;

/// The report of the command `code`, its parameters all 0.
Request command(std::uint8_t code);

/// Set GPIO Output Values for the low four bits of `byte`: all four pins in one report.
Request gpioValues(std::uint8_t byte);

/// Set SRAM Settings that make the four pins GPIO outputs at idle (high), all in one
/// command, whatever they were.
Request idleOutputs();

/// The first pin that an answer to Set GPIO Output Values says is not a GPIO, or kPins.
std::size_t notGpio(const Answer& answer);

/// The first pin that an answer to Get GPIO Values shows other than an output at idle, or
/// kPins.
std::size_t notIdleOutput(const Answer& answer);

}  // namespace port::mcp2221
