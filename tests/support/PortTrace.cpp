#include "support/PortTrace.h"

#include <cstdio>

#include "keypad/StrokeShape.h"

using portlib::recorder::Operation;

namespace {

bool isWrite(const Operation& op, std::uint32_t value) {
    return op.kind == Operation::Kind::Write && op.value == value;
}

bool isSleep(const Operation& op, int ms) {
    return op.kind == Operation::Kind::Sleep && op.value == static_cast<std::uint32_t>(ms);
}

std::string hex2(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x", value);
    return text;
}

/// True when the operations at `at` are one whole stroke of the held value `code`.
bool strokeAt(const std::vector<Operation>& ops, std::size_t at, std::uint32_t& code) {
    using stroke_shape::Step;
    if (at + stroke_shape::kStrokeSteps > ops.size() ||
        ops[at + 1].kind != Operation::Kind::Write) {
        return false;
    }
    code = ops[at + 1].value;
    for (std::size_t i = 0; i < stroke_shape::kStrokeSteps; ++i) {
        const Step step = stroke_shape::kStroke[i];
        const bool matches = step == Step::Wait
                                 ? isSleep(ops[at + i], stroke_shape::kKeyDelayMs)
                                 : isWrite(ops[at + i], step == Step::WriteIdle ? 0xFF : code);
        if (!matches) {
            return false;
        }
    }
    return true;
}

std::string raw(const Operation& op) {
    switch (op.kind) {
        case Operation::Kind::Init:
            return "[init " + std::to_string(op.value) + "]";
        case Operation::Kind::Write:
            return "[w " + hex2(op.value) + "]";
        case Operation::Kind::Sleep:
            return "[s " + std::to_string(op.value) + "]";
    }
    return "[?]";
}

}  // namespace

std::string strokes(const std::vector<Operation>& ops) {
    std::string out;
    for (std::size_t at = 0; at < ops.size();) {
        std::uint32_t code = 0;
        std::string word;
        if (strokeAt(ops, at, code)) {
            word = hex2(code & 0xFF);
            at += stroke_shape::kStrokeSteps;
        } else if (isSleep(ops[at], stroke_shape::kReturnPauseMs)) {
            word = "pause";
            ++at;
        } else if (ops[at].kind == Operation::Kind::Init && ops[at].value == 1) {
            word = "init";
            ++at;
        } else {
            word = raw(ops[at]);
            ++at;
        }
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

int writeCount(const std::vector<Operation>& ops) {
    int count = 0;
    for (const Operation& op : ops) {
        count += op.kind == Operation::Kind::Write ? 1 : 0;
    }
    return count;
}

std::string expectedStrokes(const std::vector<int>& codes) {
    std::string out;
    for (const int code : codes) {
        out += (out.empty() ? "" : " ") + (code < 0 ? std::string("pause") : hex2(code));
    }
    return out;
}
