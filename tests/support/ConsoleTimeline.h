// Puts console traffic and port traffic on one timeline, to check their order: what the
// code writes to standard output, when it reads from standard input (served one line at
// a time, as a terminal does), and the key strokes made in between.
#pragma once

#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "support/PortTrace.h"
#include "support/RecordingPort.h"

/// While it lives, std::cout and std::cin are replaced; timeline() tells what happened.
class ConsoleTimeline {
  public:
    /// `inputLines` are served one per read; after the last one the input is at its end.
    explicit ConsoleTimeline(std::vector<std::string> inputLines)
        : in_(*this, std::move(inputLines)),
          out_(*this),
          oldOut_(std::cout.rdbuf(&out_)),
          oldIn_(std::cin.rdbuf(&in_)) {}
    ~ConsoleTimeline() {
        std::cout.rdbuf(oldOut_);
        std::cin.rdbuf(oldIn_);
        std::cin.clear();
    }
    ConsoleTimeline(const ConsoleTimeline&) = delete;
    ConsoleTimeline& operator=(const ConsoleTimeline&) = delete;

    /// Events in order: runs of strokes as strokes() writes them, `out<text>` for each
    /// flushed piece of output, `read` for each time input was asked for, `eof` when it
    /// was asked for past the end.
    std::vector<std::string> timeline() {
        catchUpStrokes();
        return events_;
    }

  private:
    void catchUpStrokes() {
        const auto& ops = portlib::recorder::operations();
        if (ops.size() > seenOps_) {
            events_.push_back(strokes({ops.begin() + static_cast<long>(seenOps_), ops.end()}));
            seenOps_ = ops.size();
        }
    }

    /// Standard output: each flush becomes one event.
    class OutBuf : public std::stringbuf {
      public:
        explicit OutBuf(ConsoleTimeline& owner) : owner_(owner) {}
        int sync() override {
            if (!str().empty()) {
                owner_.catchUpStrokes();
                owner_.events_.push_back("out<" + str() + ">");
                str("");
            }
            return 0;
        }

      private:
        ConsoleTimeline& owner_;
    };

    /// Standard input: one line per request, each request an event.
    class InBuf : public std::streambuf {
      public:
        InBuf(ConsoleTimeline& owner, std::vector<std::string> lines)
            : owner_(owner), lines_(std::move(lines)) {}
        int_type underflow() override {
            owner_.catchUpStrokes();
            if (next_ == lines_.size()) {
                owner_.events_.push_back("eof");
                return traits_type::eof();
            }
            owner_.events_.push_back("read");
            current_ = lines_[next_++] + "\n";
            setg(current_.data(), current_.data(), current_.data() + current_.size());
            return traits_type::to_int_type(current_[0]);
        }

      private:
        ConsoleTimeline& owner_;
        std::vector<std::string> lines_;
        std::size_t next_ = 0;
        std::string current_;
    };

    std::vector<std::string> events_;
    std::size_t seenOps_ = portlib::recorder::operations().size();
    InBuf in_;
    OutBuf out_;
    std::streambuf* oldOut_;
    std::streambuf* oldIn_;
};
