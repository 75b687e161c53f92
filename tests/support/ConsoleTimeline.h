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

/// While it lives, std::cout and std::cin are replaced by it; timeline() tells what happened.
class ConsoleTimeline : std::streambuf {
  public:
    /// `inputLines` are served one per read; after the last one the input is at its end.
    explicit ConsoleTimeline(std::vector<std::string> inputLines)
        : lines_(std::move(inputLines)),
          oldOut_(std::cout.rdbuf(this)),
          oldIn_(std::cin.rdbuf(this)) {}
    ~ConsoleTimeline() override {
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

    /// Standard output: what is written gathers until a flush makes it one event.
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            out_ += traits_type::to_char_type(c);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        if (!out_.empty()) {
            catchUpStrokes();
            events_.push_back("out<" + out_ + ">");
            out_.clear();
        }
        return 0;
    }

    /// Standard input: one line per request, each request an event.
    int_type underflow() override {
        catchUpStrokes();
        if (next_ == lines_.size()) {
            events_.push_back("eof");
            return traits_type::eof();
        }
        events_.push_back("read");
        current_ = lines_[next_++] + "\n";
        setg(current_.data(), current_.data(), current_.data() + current_.size());
        return traits_type::to_int_type(current_[0]);
    }

    std::vector<std::string> events_;
    std::size_t seenOps_ = portlib::recorder::operations().size();
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
    std::string current_, out_;
    std::streambuf* oldOut_;
    std::streambuf* oldIn_;
};
