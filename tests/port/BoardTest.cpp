// The board's protocol and the host's side of it, against a board played on a virtual
// clock: frames that noise has touched never count, and every way a board can answer (or
// not) when opened and while stroking ends as it should.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <regex>
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

const Bytes kHello = {board::kProtocolVersion, 1, 0, 'C', 0, 1, 2, 3};

struct Behaviour;
/// A board that behaves well but for what `change` makes of it.
template <typename Change>
Behaviour but(Change change);

/// How the played board behaves.
struct Behaviour {
    bool answers = true;
    Bytes hello = kHello;
    Bytes noiseFirst;         // sent before anything else
    int refuseStroke = -1;    // answers this stroke (by its order) with an error
    int restartAt = -1;       // says hello again instead of ending this stroke
    int misreportAt = -1;     // reports this stroke's end under the next one's number
    bool ends = true;         // reports the end of each stroke
    bool helloTwice = false;  // its start-up hello, then the answer to an ask
    Bytes afterHello;         // sent soon after the hello
};

template <typename Change>
Behaviour but(Change change) {
    Behaviour behaviour;
    change(behaviour);
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

TEST(BoardFrames, NoSingleBitErrorAndNoCutFrameIsTakenForAStroke) {
    const Bytes stroke = frame(board::kStroke, {7, 0xFB, kKeyDelay, kKeyDelay});
    std::vector<Bytes> damaged;
    for (std::size_t bit = 0; bit < stroke.size() * 8; ++bit) {
        Bytes copy = stroke;
        copy[bit / 8] = static_cast<std::uint8_t>(copy[bit / 8] ^ (1u << (bit % 8)));
        damaged.push_back(copy);
    }
    for (std::size_t size = 1; size < stroke.size(); ++size) {
        damaged.emplace_back(stroke.begin(), stroke.begin() + static_cast<long>(size));
    }
    for (const Bytes& bytes : damaged) {
        board::FrameReader reader;
        for (const std::uint8_t byte : bytes) {
            ASSERT_NE(reader.feed(byte), board::FrameReader::kFrame);
        }
        // The line went quiet: what was read is dropped, and the next frame counts whole.
        reader.reset();
        board::FrameReader::Result last = board::FrameReader::kMore;
        for (const std::uint8_t byte : stroke) {
            last = reader.feed(byte);
        }
        EXPECT_EQ(last, board::FrameReader::kFrame);
        EXPECT_EQ(reader.payload()[1], 0xFB);
    }
}

TEST(BoardFrames, ARefusedFrameSaysWhy) {
    const struct {
        Bytes bytes;
        std::uint8_t error;
    } cases[] = {
        {{board::kSync, 'S', 9}, board::kBadLength},
        {frame('Q', {}), board::kBadType},
        {frame(board::kStroke, {1, 2, 3}), board::kBadLength},
    };
    for (const auto& c : cases) {
        board::FrameReader reader;
        board::FrameReader::Result last = board::FrameReader::kMore;
        for (const std::uint8_t byte : c.bytes) {
            last = reader.feed(byte);
        }
        EXPECT_EQ(last, board::FrameReader::kRejected);
        EXPECT_EQ(reader.error(), c.error);
    }
}

// The listing names the boards and serial chips that the board's documentation gives,
// "Arduino 2341:*, 2a03:*; CH340 1a86:7523; ..." (* for every product), and no others.
TEST(BoardListing, NamesTheBoardsOfTheDocumentationAndNoOthers) {
    const std::string doc = fileText(PMC10_SOURCE_DIR "/docs/board.md");
    static const std::regex kIds(R"((?:([A-Z][A-Za-z0-9]+) )?([0-9a-f]{4}):(\*|[0-9a-f]{4}))");
    std::string name;
    int ids = 0;
    for (std::sregex_iterator it(doc.begin(), doc.end(), kIds), end; it != end; ++it, ++ids) {
        const std::smatch& m = *it;
        name = m[1].matched ? m[1].str() : name;
        const bool everyProduct = m[3] == "*";
        const char* kind = board::usualBoard(m[2], everyProduct ? "ffff" : m[3].str());
        EXPECT_EQ(std::string(kind == nullptr ? "-" : kind).rfind(name, 0), 0U) << m[0];
        EXPECT_EQ(board::usualBoard(m[2], "ffff") != nullptr, everyProduct) << m[0];
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

TEST(BoardOpening, EachAnswerGivesItsOutcome) {
    const std::string flash = "avrdude -p atmega328p -c arduino -P COM9 -b 115200 -U flash:w:";
    const struct {
        const char* name;
        Behaviour behaviour;
        port::OpenResult::Status status;
        std::string said;
    } cases[] = {
        {"hello", {}, port::OpenResult::Status::Opened, ""},
        {"noise and a cut frame before the hello",
         but([](Behaviour& b) { b.noiseFirst = {0x00, board::kSync, 'h', 8, 1, 2, 0xA5, 0xFF}; }),
         port::OpenResult::Status::Opened, ""},
        {"silent", but([](Behaviour& b) { b.answers = false; }), port::OpenResult::Status::Unusable,
         "no pmc10 board answers on COM9 (waited 3 s); to load its firmware: " + flash},
        {"other protocol", but([](Behaviour& b) { b.hello = {9, 2, 1, 'C', 0, 1, 2, 3}; }),
         port::OpenResult::Status::Unusable,
         "the board on COM9 runs pmc10 firmware 2.1 (protocol 9), this pmc10 needs "
         "protocol 1; load its firmware: " +
             flash},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Opened opened = openBoard(c.behaviour);
        EXPECT_EQ(opened.result.status, c.status);
        EXPECT_EQ(opened.result.reason.substr(0, c.said.size()), c.said);
        EXPECT_LE(*opened.clock, board::kHelloBoundMs);
    }
}

TEST(BoardStrokes, HandsOverWholeStrokesAndReportsEveryFailure) {
    const struct {
        const char* name;
        Behaviour behaviour;
        std::size_t strokesTaken;
        std::string failure;
    } cases[] = {
        {"every stroke ends", {}, 4, ""},
        {"a second hello soon after the first", but([](Behaviour& b) { b.helloTwice = true; }), 4,
         ""},
        {"a starting board's complaint about part of an ask", but([](Behaviour& b) {
             b.afterHello = frame(board::kError, {board::kBadCheck, 0});
         }),
         4, ""},
        {"refused", but([](Behaviour& b) { b.refuseStroke = 1; }), 2,
         "the board on COM9 refused a stroke while two"},
        {"restarted", but([](Behaviour& b) { b.restartAt = 0; }), 2, "the board on COM9 restarted"},
        {"no end reported", but([](Behaviour& b) { b.ends = false; }), 2,
         "the board on COM9 stopped answering; its own timer released the key"},
        {"an end reported for a stroke not sent", but([](Behaviour& b) { b.misreportAt = 1; }), 3,
         "the board on COM9 reported a stroke that was not sent"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Opened opened = openBoard(c.behaviour);
        ASSERT_EQ(opened.result.status, port::OpenResult::Status::Opened);
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
