// The board's protocol and the host's side of it, against a board played on a virtual
// clock: frames that noise has touched never count, and every way a board can answer (or
// not) when opened and while stroking ends as it should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "firmware/BoardProtocol.h"
#include "keypad/StrokeShape.h"
#include "platform/Board.h"
#include "platform/BoardText.h"
#include "support/TextLines.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kKeyDelay = stroke_shape::kKeyDelayMs;

Bytes frame(std::uint8_t type, Bytes payload) {
    std::uint8_t out[board::kMaxFrame];
    const std::uint8_t size =
        board::encode(type, payload.data(), static_cast<std::uint8_t>(payload.size()), out);
    return Bytes(out, out + size);
}

/// How the played board behaves.
struct Behaviour {
    bool answers = true;
    Bytes hello = {board::kProtocolVersion, 1, 0, 'C', 0, 1, 2, 3};
    Bytes noiseFirst;         // sent before anything else
    int refuseStroke = -1;    // answers this stroke (by its order) with an error
    int restartAt = -1;       // says hello again instead of ending this stroke
    int misreportAt = -1;     // reports this stroke's end under the next one's number
    bool ends = true;         // reports the end of each stroke
    bool helloTwice = false;  // its start-up hello, then the answer to an ask
    Bytes afterHello;         // sent soon after the hello
};

/// A board that behaves well but for its `field`.
template <typename Field>
Behaviour but(Field Behaviour::*field, Field value) {
    Behaviour behaviour;
    behaviour.*field = std::move(value);
    return behaviour;
}

/// A board on a serial line, on a virtual clock that moves only while the host waits.
class PlayedBoard : public board::SerialLine {
  public:
    /// `clock` outlives the board: the port drops its line when it fails to open.
    PlayedBoard(Behaviour behaviour, std::shared_ptr<std::int64_t> clock)
        : behaviour_(std::move(behaviour)), clock_(std::move(clock)) {
        queue(0, behaviour_.noiseFirst);
    }

    bool send(const std::uint8_t* data, std::size_t size) override {
        for (std::size_t i = 0; i < size; ++i) {
            if (reader_.feed(data[i]) == board::FrameReader::kFrame) {
                answer(reader_.type(), reader_.payload());
            }
        }
        return !broken_;
    }

    int receive(std::uint8_t* data, std::size_t size, int timeoutMs, bool) override {
        if (signal) {
            // As a signal taken while the host waits for the board.
            std::exchange(signal, nullptr)();
        }
        if (broken_) {
            return -1;
        }
        if (incoming_.empty() || incoming_.front().first > now_ + timeoutMs) {
            now_ += timeoutMs;
            return 0;
        }
        now_ = std::max(now_, incoming_.front().first);
        std::size_t count = 0;
        while (count < size && !incoming_.empty() && incoming_.front().first <= now_) {
            data[count++] = incoming_.front().second;
            incoming_.pop_front();
        }
        return static_cast<int>(count);
    }

    std::int64_t nowMs() override { return now_; }
    std::string lastError() const override { return "Input/output error"; }
    void close() override {}

    std::vector<std::uint8_t> sentTypes;
    std::vector<std::uint8_t> strokedCodes;
    bool broken_ = false;
    std::function<void()> signal;

  private:
    void queue(std::int64_t at, const Bytes& bytes) {
        for (const std::uint8_t byte : bytes) {
            incoming_.emplace_back(at, byte);
        }
    }

    void answer(std::uint8_t type, const std::uint8_t* payload) {
        sentTypes.push_back(type);
        if (!behaviour_.answers) {
            return;
        }
        if (type == board::kAskHello) {
            queue(now_ + 2, frame(board::kHello, behaviour_.hello));
            queue(now_ + 10, behaviour_.afterHello);
            if (behaviour_.helloTwice) {
                queue(now_ + 40, frame(board::kHello, behaviour_.hello));
            }
        } else if (type == board::kStroke) {
            const int order = static_cast<int>(strokedCodes.size());
            strokedCodes.push_back(payload[1]);
            busyUntil_ = std::max(busyUntil_, now_) + payload[2] + payload[3];
            if (order == behaviour_.refuseStroke) {
                queue(now_ + 1, frame(board::kError, {board::kBusy, board::kStroke}));
            } else if (order == behaviour_.restartAt) {
                queue(busyUntil_ + 600, frame(board::kHello, behaviour_.hello));
            } else if (behaviour_.ends) {
                const int seq = payload[0] + (order == behaviour_.misreportAt ? 1 : 0);
                queue(busyUntil_, frame(board::kDone, {static_cast<std::uint8_t>(seq)}));
            }
        } else if (type == board::kCancel) {
            queue(now_ + 1, frame(board::kIdle, {1}));
        }
    }

    Behaviour behaviour_;
    board::FrameReader reader_;
    std::deque<std::pair<std::int64_t, std::uint8_t>> incoming_;
    std::shared_ptr<std::int64_t> clock_;
    std::int64_t& now_ = *clock_;
    std::int64_t busyUntil_ = 0;
};

TEST(BoardFrames, NoDamagedFrameIsTakenForAStrokeAndARefusedOneSaysWhy) {
    const Bytes stroke = frame(board::kStroke, {7, 0xFB, kKeyDelay, kKeyDelay});
    std::vector<std::pair<Bytes, int>> damaged{
        // with the error a refusal gives, or -1
        {{board::kSync, 'S', 9}, board::kBadLength},
        {frame('Q', {}), board::kBadType},
        {frame(board::kStroke, {1, 2, 3}), board::kBadLength}};
    for (std::size_t bit = 0; bit < stroke.size() * 8; ++bit) {
        Bytes copy = stroke;
        copy[bit / 8] = static_cast<std::uint8_t>(copy[bit / 8] ^ (1u << (bit % 8)));
        damaged.emplace_back(copy, -1);
    }
    for (std::size_t size = 1; size < stroke.size(); ++size) {
        damaged.emplace_back(Bytes(stroke.begin(), stroke.begin() + static_cast<long>(size)), -1);
    }
    for (const auto& [bytes, error] : damaged) {
        board::FrameReader reader;
        board::FrameReader::Result last = board::FrameReader::kMore;
        for (const std::uint8_t byte : bytes) {
            last = reader.feed(byte);
            ASSERT_NE(last, board::FrameReader::kFrame);
        }
        if (error >= 0) {
            EXPECT_EQ(last, board::FrameReader::kRejected);
            EXPECT_EQ(reader.error(), error);
        }
        // The line went quiet: what was read is dropped, and the next frame counts whole.
        reader.reset();
        board::FrameReader::Result whole = board::FrameReader::kMore;
        for (const std::uint8_t byte : stroke) {
            whole = reader.feed(byte);
        }
        EXPECT_EQ(whole, board::FrameReader::kFrame);
        EXPECT_EQ(reader.payload()[1], 0xFB);
    }
}

// The listing names the boards and serial chips that the board's documentation gives,
// "Arduino 2341:*, 2a03:*; CH340 1a86:7523; ..." (* for every product), and no others.
TEST(BoardListing, NamesTheBoardsOfTheDocumentationAndNoOthers) {
    const auto hex = [](const std::string& text) {
        return text.size() == 4 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
    };
    std::istringstream doc(fileText(PMC10_SOURCE_DIR "/docs/board.md"));
    std::string name, previous;
    int ids = 0;
    for (std::string word; doc >> word; previous = word) {
        word.erase(0, word.find_first_not_of("(`"));
        word.erase(word.find_last_not_of(",;.)`") + 1);
        const std::string vendor = word.substr(0, 4),
                          product = word.substr(std::min(word.size(), std::size_t{5}));
        if (word.size() < 6 || word[4] != ':' || !hex(vendor) ||
            !(product == "*" || hex(product))) {
            continue;
        }
        // A capitalised word just before the IDs names them and those after them.
        if (previous[0] >= 'A' && previous[0] <= 'Z' &&
            std::isalnum(static_cast<unsigned char>(previous.back()))) {
            name = previous;
        }
        const bool everyProduct = product == "*";
        const char* kind = board::usualBoard(vendor, everyProduct ? "ffff" : product);
        EXPECT_EQ(std::string(kind == nullptr ? "-" : kind).rfind(name, 0), 0U) << word;
        EXPECT_EQ(board::usualBoard(vendor, "ffff") != nullptr, everyProduct) << word;
        ++ids;
    }
    EXPECT_EQ(ids, 5);
    EXPECT_EQ(board::usualBoard("1d6b", "0002"), nullptr);  // a hub
}

struct Opened {
    port::OpenResult result;
    PlayedBoard* board;  // valid while result.port is
    std::shared_ptr<std::int64_t> clock;
};

Opened openBoard(Behaviour behaviour) {
    auto clock = std::make_shared<std::int64_t>(0);
    auto line = std::make_unique<PlayedBoard>(std::move(behaviour), clock);
    PlayedBoard* board = line.get();
    return {board::greetAndOpen(std::move(line), "COM9"), board, clock};
}

TEST(BoardStrokes, EachAnswerGivesItsOutcomeAndEveryFailureIsReported) {
    const std::string flash = "avrdude -p atmega328p -c arduino -P COM9 -b 115200 -U flash:w:";
    const struct {
        const char* name;
        Behaviour behaviour;
        std::size_t strokesTaken;  // none: the port does not open
        std::string failure;
    } cases[] = {
        {"every stroke ends", {}, 4, ""},
        {"noise and a cut frame before the hello",
         but(&Behaviour::noiseFirst, Bytes{0x00, board::kSync, 'h', 8, 1, 2, 0xA5, 0xFF}), 4, ""},
        {"silent", but(&Behaviour::answers, false), 0,
         "no pmc10 board answers on COM9 (waited 3 s); to load its firmware: " + flash},
        {"other protocol", but(&Behaviour::hello, Bytes{9, 2, 1, 'C', 0, 1, 2, 3}), 0,
         "the board on COM9 runs pmc10 firmware 2.1 (protocol 9), this pmc10 needs "
         "protocol 1; load its firmware: " +
             flash},
        {"a second hello soon after the first", but(&Behaviour::helloTwice, true), 4, ""},
        {"a starting board's complaint about part of an ask",
         but(&Behaviour::afterHello, frame(board::kError, {board::kBadCheck, 0})), 4, ""},
        {"refused", but(&Behaviour::refuseStroke, 1), 2,
         "the board on COM9 refused a stroke while two"},
        {"restarted", but(&Behaviour::restartAt, 0), 2, "the board on COM9 restarted"},
        {"no end reported", but(&Behaviour::ends, false), 2,
         "the board on COM9 stopped answering; its own timer released the key"},
        {"an end reported for a stroke not sent", but(&Behaviour::misreportAt, 1), 3,
         "the board on COM9 reported a stroke that was not sent"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Opened opened = openBoard(c.behaviour);
        EXPECT_LE(*opened.clock, board::kHelloBoundMs);
        ASSERT_EQ(opened.result.status, c.strokesTaken > 0 ? port::OpenResult::Status::Opened
                                                           : port::OpenResult::Status::Unusable);
        if (c.strokesTaken == 0) {
            EXPECT_EQ(opened.result.reason.substr(0, c.failure.size()), c.failure);
            continue;
        }
        port::Port& board = *opened.result.port;
        ASSERT_TRUE(board.timesStrokes());
        bool ok = true;
        for (const std::uint8_t code : {0xFB, 0xFB, 0xF3, 0xFB}) {
            const std::int64_t before = opened.board->nowMs();
            ok = ok && board.stroke(code, kKeyDelay, kKeyDelay);
            // Never more than the running stroke and one behind it: at most one stroke's
            // wait per stroke handed over.
            EXPECT_LE(opened.board->nowMs() - before, 30 + 1000);
        }
        ok = ok && board.settle();
        EXPECT_EQ(ok, c.failure.empty());
        EXPECT_EQ(board.failure().substr(0, c.failure.size()), c.failure);
        EXPECT_EQ(opened.board->strokedCodes.size(), c.strokesTaken);
        EXPECT_FALSE(board.write(0xFB));  // no open-ended code on a board
    }
}

TEST(BoardStrokes, AnEndingSignalDropsTheStrokeBehindTheRunningOne) {
    Opened opened = openBoard({});
    port::Port& board = *opened.result.port;
    ASSERT_TRUE(board.stroke(0xFB, kKeyDelay, kKeyDelay));
    bool idle = false;
    opened.board->signal = [&] { idle = board.emergencyIdle(); };
    board.stroke(0xF3, kKeyDelay, kKeyDelay);
    EXPECT_TRUE(idle);
    const auto& sent = opened.board->sentTypes;
    EXPECT_EQ(std::count(sent.begin(), sent.end(), board::kCancel), 1);
    // A line that fails on the way is a failure, never a success.
    opened.board->broken_ = true;
    EXPECT_FALSE(board.stroke(0xFB, kKeyDelay, kKeyDelay));
    EXPECT_EQ(board.failure(), "the board on COM9 failed: Input/output error");
}

}  // namespace
