// The shape of one key stroke and of the pause before a way back, in one place: whoever
// times a stroke (the keypad link, or a device that strokes by itself) takes it from here.
#pragma once

namespace stroke_shape {

/// How long a code stays on the lines, and how long the idle value follows it.
constexpr int kKeyDelayMs = 15;
/// The pause before the way back to performance mode is walked.
constexpr int kReturnPauseMs = 500;

}  // namespace stroke_shape
