// Redirects the console streams for the length of a test: what the code under test writes
// to standard output and error is collected, and standard input reads from a given text,
// both through std::cin and through descriptor 0 (which set-up files read directly).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

/// Captures std::cout and std::cerr and feeds std::cin and descriptor 0 while it lives.
class CapturedStreams {
  public:
    explicit CapturedStreams(const std::string& input = "")
        : in_(input),
          oldOut_(std::cout.rdbuf(out_.rdbuf())),
          oldErr_(std::cerr.rdbuf(err_.rdbuf())),
          oldIn_(std::cin.rdbuf(in_.rdbuf())),
          inputFile_(std::tmpfile()),
          oldFd0_(dup(0)) {
        if (inputFile_ != nullptr && oldFd0_ >= 0) {
            std::fwrite(input.data(), 1, input.size(), inputFile_);
            std::fflush(inputFile_);
            std::rewind(inputFile_);
            dup2(fileno(inputFile_), 0);
        }
    }
    ~CapturedStreams() {
        std::cout.rdbuf(oldOut_);
        std::cerr.rdbuf(oldErr_);
        std::cin.rdbuf(oldIn_);
        std::cin.clear();
        if (oldFd0_ >= 0) {
            dup2(oldFd0_, 0);
            close(oldFd0_);
        }
        if (inputFile_ != nullptr) {
            std::fclose(inputFile_);
        }
    }

    std::string out() const { return out_.str(); }
    std::string err() const { return err_.str(); }

  private:
    std::ostringstream out_;
    std::ostringstream err_;
    std::istringstream in_;
    std::streambuf* oldOut_;
    std::streambuf* oldErr_;
    std::streambuf* oldIn_;
    std::FILE* inputFile_;
    int oldFd0_;
};
