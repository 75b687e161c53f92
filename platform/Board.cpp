#include "platform/Board.h"

#include <algorithm>
#include <utility>

#include "firmware/BoardProtocol.h"
#include "platform/BoardText.h"

namespace board {
namespace {

/// Beyond a stroke's own length, how long the board may take to report its end: the
/// serial line's latency, and a slow emulated board.
constexpr int kReplySlackMs = 1000;
/// While waiting for the hello: how often to ask again (a board that did not restart
/// when its port opened has said its hello long ago).
constexpr int kAskEveryMs = 500;

std::string errorName(std::uint8_t code) {
    switch (code) {
        case kBadCheck:
            return "a frame failed its check";
        case kBadType:
            return "a frame of unknown type";
        case kBadLength:
            return "a frame of wrong length";
        case kBusy:
            return "a stroke while two were under way";
        case kBadValue:
            return "a hold or gap out of range";
        default:
            return "error " + std::to_string(code);
    }
}

class BoardPort : public port::Port {
  public:
    BoardPort(std::unique_ptr<SerialLine> line, std::string device)
        : line_(std::move(line)), device_(std::move(device)) {}

    /// Waits for the hello; empty when the board answered with this protocol.
    std::string greet(int boundMs) {
        const std::int64_t deadline = line_->nowMs() + boundMs;
        std::int64_t nextAsk = 0;
        while (!greeted_) {
            const std::int64_t now = line_->nowMs();
            if (now >= deadline) {
                return "no pmc10 board answers on " + device_ + " (waited " +
                       std::to_string(boundMs / 1000) +
                       " s); to load its firmware: " + flashCommand(device_);
            }
            if (now >= nextAsk) {
                nextAsk = now + kAskEveryMs;
                lastAskMs_ = now;
                if (!sendFrame(kAskHello, nullptr, 0)) {
                    return "cannot talk to " + device_ + ": " + line_->lastError();
                }
            }
            if (!pump(static_cast<int>(std::min(deadline, nextAsk) - now), false)) {
                return "cannot talk to " + device_ + ": " + line_->lastError();
            }
        }
        if (hello_[0] != kProtocolVersion) {
            return "the board on " + device_ + " runs pmc10 firmware " + firmware() +
                   " (protocol " + std::to_string(hello_[0]) + "), this pmc10 needs protocol " +
                   std::to_string(kProtocolVersion) +
                   "; load its firmware: " + flashCommand(device_);
        }
        problem_ = Problem::None;  // what the board said before its hello does not count
        return {};
    }

    bool write(std::uint8_t byte) override {
        // The board holds a code only for a stroke's hold, by itself: nothing to do for the
        // idle value, and no open-ended code.
        if (byte == port::kIdleByte) {
            return problem_ == Problem::None;
        }
        return fail(Problem::OpenEndedCode, byte);
    }

    bool timesStrokes() const override { return true; }

    bool stroke(std::uint8_t code, int holdMs, int gapMs) override {
        if (problem_ != Problem::None) {
            return false;
        }
        if (holdMs < 1 || holdMs > 255 || gapMs < 1 || gapMs > 255) {
            return fail(Problem::Refused, kBadValue);
        }
        const std::uint8_t payload[kStrokeLength] = {
            nextSeq_, code, static_cast<std::uint8_t>(holdMs), static_cast<std::uint8_t>(gapMs)};
        if (!sendFrame(kStroke, payload, sizeof payload)) {
            return fail(Problem::LineFailed, 0);
        }
        pending_[pendingCount_++] = {nextSeq_, holdMs + gapMs};
        nextSeq_ = static_cast<std::uint8_t>(nextSeq_ + 1);
        // The board keeps one stroke behind the running one and starts it as the gap ends,
        // so strokes follow each other without a pause; it never has more than that.
        return awaitPending(1, false);
    }

    bool settle() override { return awaitPending(0, false); }

    bool emergencyIdle() noexcept override {
        // The running stroke's code leaves the lines by the board's own timer; only the
        // stroke waiting behind it must not start. Nothing here allocates: it also runs in
        // the crash handler.
        if (pendingCount_ > 1 && problem_ == Problem::None && sendFrame(kCancel, nullptr, 0)) {
            idleSeen_ = false;
            const std::int64_t deadline = line_->nowMs() + pending_[0].lengthMs + kReplySlackMs;
            while (!idleSeen_ && problem_ == Problem::None && line_->nowMs() < deadline &&
                   pump(static_cast<int>(deadline - line_->nowMs()), true)) {
            }
            pendingCount_ = std::min(pendingCount_, 1);
        }
        return true;
    }

    void close() override {
        // Closing may restart the board (DTR): every stroke handed over finishes first.
        awaitPending(0, true);
        line_->close();
    }

    std::string describe() const override {
        return "the pmc10 board on " + device_ + " (firmware " + firmware() + ", D0-D3 on P" +
               static_cast<char>(hello_[3]) + std::to_string(hello_[4]) + "-P" +
               static_cast<char>(hello_[3]) + std::to_string(hello_[7]) + ")";
    }

    std::string failure() const override {
        const std::string where = "the board on " + device_;
        switch (problem_) {
            case Problem::None:
                return {};
            case Problem::LineFailed:
                return where + " failed: " + line_->lastError();
            case Problem::NoReply:
                return where + " stopped answering; its own timer released the key";
            case Problem::Refused:
                return where + " refused " + errorName(problemDetail_);
            case Problem::Restarted:
                return where + " restarted during the run; strokes may be missing";
            case Problem::OutOfStep:
                return where + " reported a stroke that was not sent";
            case Problem::OpenEndedCode:
            default:
                return where + " cannot hold a code without a stroke (code " +
                       std::to_string(problemDetail_) + ")";
        }
    }

  private:
    enum class Problem { None, LineFailed, NoReply, Refused, Restarted, OutOfStep, OpenEndedCode };
    struct Pending {
        std::uint8_t seq;
        int lengthMs;
    };

    bool fail(Problem problem, std::uint8_t detail) noexcept {
        if (problem_ == Problem::None) {
            problem_ = problem;
            problemDetail_ = detail;
        }
        return false;
    }

    bool sendFrame(std::uint8_t type, const std::uint8_t* payload, std::uint8_t length) noexcept {
        std::uint8_t frame[kMaxFrame];
        const std::uint8_t size = encode(type, payload, length, frame);
        return line_->send(frame, size);
    }

    /// Waits until no more than `count` strokes are under way.
    bool awaitPending(int count, bool quiet) noexcept {
        while (pendingCount_ > count && problem_ == Problem::None) {
            const std::int64_t deadline = line_->nowMs() + pending_[0].lengthMs + kReplySlackMs;
            const std::uint8_t seq = pending_[0].seq;
            while (pendingCount_ > 0 && pending_[0].seq == seq && problem_ == Problem::None) {
                const std::int64_t left = deadline - line_->nowMs();
                // Once more after the deadline: a run stopped (Ctrl-Z) and continued finds
                // the board's answers waiting.
                pump(static_cast<int>(std::max<std::int64_t>(left, 0)), quiet);
                if (left <= 0 && pendingCount_ > 0 && pending_[0].seq == seq) {
                    return fail(Problem::NoReply, 0);
                }
            }
        }
        return problem_ == Problem::None;
    }

    /// Reads what the board sent, waiting at most `timeoutMs`, and takes its frames in.
    /// False when the line failed.
    bool pump(int timeoutMs, bool quiet) noexcept {
        std::uint8_t bytes[64];
        const int count = line_->receive(bytes, sizeof bytes, std::max(timeoutMs, 0), quiet);
        if (count < 0) {
            return fail(Problem::LineFailed, 0);
        }
        const std::int64_t now = line_->nowMs();
        if (count == 0 && reader_.inFrame() && now - lastByteMs_ > kByteGapMs) {
            reader_.reset();  // a frame that stopped in its middle is noise
        }
        for (int i = 0; i < count; ++i) {
            lastByteMs_ = now;
            if (reader_.feed(bytes[i]) == FrameReader::kFrame) {
                take();
            }
        }
        return true;
    }

    void take() noexcept {
        const std::uint8_t* payload = reader_.payload();
        switch (reader_.type()) {
            case kHello:
                if (greeted_ && line_->nowMs() - lastAskMs_ < kAskEveryMs) {
                    // The answer to an ask sent while the board was starting, after the
                    // hello it says by itself at start-up.
                } else if (greeted_) {
                    // A restart forgets the strokes it had; its pins are idle again.
                    pendingCount_ = 0;
                    fail(Problem::Restarted, 0);
                } else {
                    std::copy(payload, payload + kHelloLength, hello_);
                    greeted_ = true;
                }
                break;
            case kDone:
                if (pendingCount_ == 0 || payload[0] != pending_[0].seq) {
                    if (greeted_ && problem_ == Problem::None) {
                        fail(Problem::OutOfStep, payload[0]);
                    }
                    break;
                }
                pending_[0] = pending_[1];
                --pendingCount_;
                break;
            case kIdle:
                idleSeen_ = true;
                break;
            case kError:
                // Before the hello, and soon after an ask, it is the noise of a starting board
                // (a boot loader and the firmware each took part of an ask): no one's concern.
                if (greeted_ &&
                    (payload[1] == kStroke || line_->nowMs() - lastAskMs_ >= kAskEveryMs)) {
                    fail(Problem::Refused, payload[0]);
                }
                break;
            default:
                break;
        }
    }

    std::string firmware() const {
        return std::to_string(hello_[1]) + "." + std::to_string(hello_[2]);
    }

    std::unique_ptr<SerialLine> line_;
    std::string device_;
    FrameReader reader_;
    std::int64_t lastByteMs_ = 0;
    std::int64_t lastAskMs_ = 0;
    bool greeted_ = false;
    bool idleSeen_ = false;
    std::uint8_t hello_[kHelloLength] = {};
    std::uint8_t nextSeq_ = 0;
    Pending pending_[2] = {};
    int pendingCount_ = 0;
    Problem problem_ = Problem::None;
    std::uint8_t problemDetail_ = 0;
};

}  // namespace

port::OpenResult greetAndOpen(std::unique_ptr<SerialLine> line, const std::string& device,
                              int boundMs) {
    auto port = std::make_unique<BoardPort>(std::move(line), device);
    std::string problem = port->greet(boundMs);
    if (!problem.empty()) {
        port->close();
        return port::OpenResult::unusable(std::move(problem));
    }
    return port::OpenResult::opened(std::move(port));
}

}  // namespace board
