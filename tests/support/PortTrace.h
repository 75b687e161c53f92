// Reads the test recorder's log as key strokes, so that tests state what reached the
// foot controller in a line such as "fb fb f3 fb pause f5 f5 f3".
#pragma once

#include <string>
#include <vector>

#include "support/RecordingPort.h"

/// The recorded port operations, one word each: a two-digit hex code for a complete key
/// stroke with the exact timing pattern, "pause" for the 500 ms wait before a return to
/// performance mode, "init" for an initialisation; anything else is shown raw in brackets
/// ("[w 12]", "[s 7]") so a wrong pattern shows in the test's failure message.
std::string strokes(
    const std::vector<portlib::recorder::Operation>& operations = portlib::recorder::operations());

/// The number of port writes in the recorded log.
int writeCount(
    const std::vector<portlib::recorder::Operation>& operations = portlib::recorder::operations());

/// The strokes that the listed key codes give, in the form strokes() returns, e.g.
/// expectedStrokes({0xFB, 0xF3}) == "fb f3".
std::string expectedStrokes(const std::vector<int>& codes);
