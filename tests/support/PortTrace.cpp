#include "support/PortTrace.h"

#include <cstdio>

using portlib::recorder::Operation;

namespace {

bool isWrite(const Operation& op, std::uint32_t value) {
    return op.kind == Operation::Kind::Write && op.value == value;
}

bool isSleep(const Operation& op, std::uint32_t ms) {
    return op.kind == Operation::Kind::Sleep && op.value == ms;
}

std::string hex2(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x", value);
    return text;
}

/// True when the eight operations at `at` are one stroke of the held value `code`:
/// idle, code, 15 ms, idle, idle, idle, 15 ms, idle.
bool strokeAt(const std::vector<Operation>& ops, std::size_t at, std::uint32_t& code) {
    if (at + 8 > ops.size() || ops[at + 1].kind != Operation::Kind::Write) {
        return false;
    }
    code = ops[at + 1].value;
    return isWrite(ops[at], 0xFF) && isSleep(ops[at + 2], 15) && isWrite(ops[at + 3], 0xFF) &&
           isWrite(ops[at + 4], 0xFF) && isWrite(ops[at + 5], 0xFF) && isSleep(ops[at + 6], 15) &&
           isWrite(ops[at + 7], 0xFF);
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
            at += 8;
        } else if (isSleep(ops[at], 500)) {
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
