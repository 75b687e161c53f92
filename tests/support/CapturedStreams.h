// Redirects the console streams for the length of a test: what the code under test writes
// to standard output and error is collected, and standard input reads from a given text.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

/// Captures std::cout and std::cerr and feeds std::cin while it lives.
class CapturedStreams {
  public:
    explicit CapturedStreams(const std::string& input = "")
        : in_(input),
          oldOut_(std::cout.rdbuf(out_.rdbuf())),
          oldErr_(std::cerr.rdbuf(err_.rdbuf())),
          oldIn_(std::cin.rdbuf(in_.rdbuf())) {}
    ~CapturedStreams() {
        std::cout.rdbuf(oldOut_);
        std::cerr.rdbuf(oldErr_);
        std::cin.rdbuf(oldIn_);
        std::cin.clear();
    }
    CapturedStreams(const CapturedStreams&) = delete;
    CapturedStreams& operator=(const CapturedStreams&) = delete;

    std::string out() const { return out_.str(); }
    std::string err() const { return err_.str(); }

  private:
    std::ostringstream out_;
    std::ostringstream err_;
    std::istringstream in_;
    std::streambuf* oldOut_;
    std::streambuf* oldErr_;
    std::streambuf* oldIn_;
};
