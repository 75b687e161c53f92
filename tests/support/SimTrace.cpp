#include "support/SimTrace.h"

#include <cstdio>
#include <sstream>

#include "keypad/StrokeShape.h"
#include "support/TextLines.h"

namespace {

/// "init", "out 0x378 0x" and two lower-case hex digits, or "sleep" and a number.
bool isTraceOp(std::string_view op) {
    std::string code;
    Scan out(op), sleep(op);
    return op == "init" ||
           (out.take("out 0x378 0x") && out.span("0123456789abcdef", &code) && code.size() == 2 &&
            out.rest().empty()) ||
           (sleep.take("sleep ") && sleep.span(kDigits) && sleep.rest().empty());
}

}  // namespace

std::vector<TraceLine> parseTrace(const std::string& err, std::string* otherLines) {
    std::vector<TraceLine> trace;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        // "[  12.345] out 0x378 0xfb": stamps have exactly three decimals, whole
        // microseconds, compared as integers.
        Scan scan(line);
        std::string seconds, micros;
        if (scan.take("[") && scan.span(" ", nullptr, 0) && scan.span(kDigits, &seconds) &&
            scan.take(".") && scan.span(kDigits, &micros) && micros.size() == 3 &&
            scan.take("] ") && isTraceOp(scan.rest())) {
            trace.push_back(
                {std::stol(seconds) * 1000 + std::stol(micros), std::string(scan.rest())});
        } else if (otherLines != nullptr) {
            *otherLines += line + "\n";
        }
    }
    return trace;
}

std::vector<std::string> traceOps(const std::string& err, std::string* otherLines) {
    std::vector<std::string> ops;
    for (const TraceLine& line : parseTrace(err, otherLines)) {
        ops.push_back(line.op);
    }
    return ops;
}

const std::string kKeyWaitLine = "sleep " + std::to_string(stroke_shape::kKeyDelayMs);
const std::string kPauseLine = "sleep " + std::to_string(stroke_shape::kReturnPauseMs);

std::vector<std::string> expectedTrace(const std::vector<int>& codes) {
    std::vector<std::string> ops{"init"};
    auto out = [&](int value) {
        char text[32];
        std::snprintf(text, sizeof text, "out 0x378 0x%02x", value & 0xFF);
        ops.push_back(text);
    };
    for (const int code : codes) {
        if (code < 0) {
            ops.push_back(kPauseLine);
            continue;
        }
        for (const stroke_shape::Step step : stroke_shape::kStroke) {
            if (step == stroke_shape::Step::Wait) {
                ops.push_back(kKeyWaitLine);
            } else {
                out(step == stroke_shape::Step::WriteCode ? code : 0xFF);
            }
        }
    }
    return ops;
}

std::vector<WaitSpan> waitSpans(const std::string& err) {
    std::vector<WaitSpan> spans;
    long changedAt = -1, asked = 0;  // from "init" on
    std::string value;
    for (const TraceLine& line : parseTrace(err)) {
        if (line.op.rfind("sleep ", 0) == 0) {
            asked += std::stol(line.op.substr(6));
            continue;
        }
        if (line.op == value) {
            continue;  // the same value again: nothing changed on the lines
        }
        if (asked > 0 && changedAt >= 0) {
            const bool code = value.rfind("out ", 0) == 0 && value != "out 0x378 0xff";
            spans.push_back({asked, line.micros - changedAt, code});
        }
        asked = 0;
        changedAt = line.micros;
        value = line.op;
    }
    return spans;
}

int countOf(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}
