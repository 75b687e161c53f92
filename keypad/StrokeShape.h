// The shape of one key stroke and of the pause before a way back, in one place: whoever
// strokes keys (the keypad link, or a device that times strokes by itself), whoever plans
// or checks them, takes it from here.
#pragma once

#include <cstddef>

namespace stroke_shape {

/// How long a code stays on the lines, and how long the idle value follows it.
constexpr int kKeyDelayMs = 15;
/// The pause before the way back to performance mode is walked.
constexpr int kReturnPauseMs = 500;

/// One step of a stroke that the PC times itself.
enum class Step { WriteIdle, WriteCode, Wait };

/// One stroke: the code, framed by idle writes, held one key delay; then the idle value,
/// framed the same way, for one key delay. The lines carry nothing but the code and idle,
/// and every wait ends with idle on the lines.
constexpr Step kStroke[] = {Step::WriteIdle, Step::WriteCode, Step::Wait, Step::WriteIdle,
                            Step::WriteIdle, Step::WriteIdle, Step::Wait, Step::WriteIdle};
constexpr std::size_t kStrokeSteps = sizeof kStroke / sizeof kStroke[0];

}  // namespace stroke_shape
