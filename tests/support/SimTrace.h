// Reads the trace that pmc10-sim writes on standard error, and writes out the trace that
// a list of key strokes must give, from the stroke pattern itself.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

/// One trace line: its time stamp in whole microseconds since the port opened, and what
/// it says ("init", "out 0x378 0xfb", "sleep 15").
struct TraceLine {
    long micros;
    std::string op;
};

/// The trace lines of a run. Lines that are not trace lines are appended to `otherLines`
/// if given.
std::vector<TraceLine> parseTrace(const std::string& err, std::string* otherLines = nullptr);

/// The trace lines of a run, without their time stamps ("init", "out 0x378 0xfb",
/// "sleep 15"). Lines that are not trace lines are appended to `otherLines` if given.
std::vector<std::string> traceOps(const std::string& err, std::string* otherLines = nullptr);

/// The trace lines of the wait of one key delay and of the pause before a way back.
extern const std::string kKeyWaitLine;
extern const std::string kPauseLine;

/// The trace that the listed strokes give after "init"; -1 is the 500 ms pause before a
/// return to performance mode.
std::vector<std::string> expectedTrace(const std::vector<int>& codes);

/// One stretch of one value on the lines: the waits asked while it was there, and how
/// long it stayed, from the write that put it there to the write that changed it.
struct WaitSpan {
    long askedMs;
    long lastedMicros;
    /// The value was a key code: the stretch is a key's hold.
    bool hold = false;
};

/// Every stretch of a trace with a wait in it that a change of the lines ends.
std::vector<WaitSpan> waitSpans(const std::string& err);

/// Every wait of a trace, or every hold, lasted at least what was asked.
inline void expectWaitsKept(const std::string& err, bool holdsOnly) {
    for (const WaitSpan& wait : waitSpans(err)) {
        EXPECT_TRUE((holdsOnly && !wait.hold) || wait.lastedMicros >= wait.askedMs * 1000)
            << "a wait of " << wait.askedMs << " ms was cut short";
    }
}

/// How often `what` occurs in `text`.
int countOf(const std::string& text, const std::string& what);
