// The link to the port the foot controller hangs on: one byte per write, and the timing
// of every key stroke, measured from the end of the last write so that a code stays on
// the lines at least as long as asked, whatever the port (a USB adapter's write takes
// time). Signals are taken here, where the program waits: a stroke is never cut short,
// neither by a stop nor by an ending signal, which lets the key in hand finish its hold
// and releases it before the process dies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Signals.h"
#include "port/Port.h"

/// The clock that stroke timing runs on: the monotonic clock with signal-aware waits in
/// the tool, a virtual one in the tests.
class StrokeClock {
  public:
    virtual ~StrokeClock() = default;
    virtual std::int64_t nowNanoseconds() = 0;
    /// Waits until `deadline`, or until a signal arrives (returned).
    virtual signals::Event waitUntil(std::int64_t deadline) = 0;
    /// A signal that has arrived and not been taken, without waiting.
    virtual signals::Event pending() = 0;
};

/// The port chosen for this run, opened on first use and held until the process ends.
class ParallelPort {
  public:
    /// The data register of LPT1, as the simulated port's trace names it.
    static constexpr std::uint16_t kAddress = 0x378;

    ParallelPort();
    ParallelPort(const ParallelPort&) = delete;
    ParallelPort& operator=(const ParallelPort&) = delete;

    /// Opens the chosen port on the first call; true once it is open.
    bool ok();

    /// After a failed opening: the reason, why and what to do; empty when unknown.
    std::string failureReason() const;

    /// True when the opening failed because the PORT text names no usable port (bad
    /// input, status 2) rather than because the port is missing or busy (status 1).
    bool badPortText() const { return badText_; }

    /// Puts the low byte of `value` on the data lines.
    void write(std::int32_t value);

    /// Waits `milliseconds` from the end of the last write (or of the last stroke).
    void wait(int milliseconds);

    /// True when the open port times whole strokes itself (a board with its own timer).
    bool timesStrokes() const { return port_ != nullptr && port_->timesStrokes(); }
    /// Hands such a port one whole stroke: the low byte of `code` for `holdMs`, then idle
    /// for `gapMs`. Returns once the port has taken it.
    void stroke(std::int32_t code, int holdMs, int gapMs);

    /// Before a stroke: takes any signal that has arrived, and tells whether the stroke
    /// may go ahead (the port works and the current line was not abandoned).
    bool readyForStroke();

    /// True once the port failed during the run: nothing more reaches it.
    bool failed() const { return failed_; }
    /// Ends the run as failed for a reason outside the port (input that cannot be read),
    /// between strokes: nothing more is stroked.
    void failRun() { failed_ = true; }

    /// Interactive use: an interrupt (Ctrl-C) ends the current line after the stroke in
    /// progress instead of ending the process.
    void setInterruptEndsLine(bool ends) { interruptEndsLine_ = ends; }
    /// True once an interrupt abandoned the current line; cleared by startLine().
    bool lineAbandoned() const { return abandoned_; }
    /// Where the foot controller was when the line was abandoned (as a run ended by the
    /// interrupt would say it), or empty when no procedure was under way.
    const std::string& abandonedWhere() const { return abandonedWhere_; }
    void startLine() {
        abandoned_ = false;
        abandonedWhere_.clear();
    }

    /// Puts the idle value on the lines and releases the port, if one is open.
    void release();

    /// What to say when a run ends half way (a signal ends the process, or the port
    /// fails): where the foot controller was left, printed as a message, or empty text.
    /// Set by the procedures that walk the menus; nullptr for nothing to say.
    using LeftBehindNote = std::string (*)();
    static void setLeftBehindNote(LeftBehindNote note);

    /// The clock to run on (nullptr: the real one); returns the one used until now. The
    /// tests and the dry run give a virtual one.
    static StrokeClock* useClock(StrokeClock* clock);

  private:
    void fail();
    void handle(signals::Event event);
    /// Puts the port idle, says where the controller was left and dies by `number`.
    [[noreturn]] void endBy(int number);
    static void onSignal(signals::Event event);
    static void onCrash() noexcept;

    bool tried_ = false;
    bool badText_ = false;
    bool failed_ = false;
    bool abandoned_ = false;
    bool interruptEndsLine_ = false;
    int pendingStop_ = 0;
    int pendingEnd_ = 0;
    std::string abandonedWhere_;
    std::uint8_t last_ = port::kIdleByte;
    // When the lines last changed (the end of that write, or when the port says the
    // value reached them), and when the last wait ended.
    std::int64_t lastChange_ = 0;
    std::int64_t lastDeadline_ = 0;
    bool wroteSinceOpen_ = false;
    std::string reason_;
    std::unique_ptr<port::Port> port_;
};
