// The command line the tool was started with, as the operating system passed it.
#pragma once

#include <string>
#include <vector>

/// The program's name and its argument words, in order and as typed.
class CommandLine {
  public:
    CommandLine(int argc, const char* const* argv);

    std::string programName() const { return programName_; }
    std::vector<std::string> arguments() const { return arguments_; }

  private:
    std::string programName_;
    std::vector<std::string> arguments_;
};
