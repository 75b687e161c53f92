// The tool's entry: decides between the usage screen, a verb and a command sequence for
// one command line, runs it and gives the exit status.
#pragma once

#include "front/CommandLine.h"

/// The statuses the tool ends with.
enum ExitStatus {
    ExitSuccess = 0,
    /// The port could not be opened, so nothing was sent.
    ExitFailure = 1,
    /// Started without arguments: the usage screen was shown.
    ExitUsage = 2,
};

/// Runs the tool for one command line and returns its exit status.
int runEntry(const CommandLine& commandLine);
