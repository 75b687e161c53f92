#include "front/CommandLine.h"

CommandLine::CommandLine(int argc, const char* const* argv) {
    // A program can be started with an empty argument vector; it then has no name.
    if (argc > 0 && argv[0] != nullptr) {
        programName_ = argv[0];
    }
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        arguments_.emplace_back(argv[i]);
    }
}
