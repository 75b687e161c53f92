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

#include <string>
#include <vector>

/// Runs the tool for one command line and returns its exit status.
int runEntry(const CommandLine& commandLine);

/// Runs the command words of one line (a verb with its number, or a sequence with `r`/`rd`
/// first) as a command line's words run; the port stays held for the next line.
int runCommandWords(const std::vector<std::string>& words);

/// "cannot use port '<text>': <why>" (printed as a message) when the chosen PORT text
/// names no port this tool can use; empty when it does. Opens nothing.
std::string portTextProblem();

/// Told each top-level word of a sequence before it is interpreted, and "" before the way
/// back is walked; nullptr for none. Files and dry runs use it to name where strokes and
/// warnings come from.
void setWordHook(void (*hook)(const std::string& word));
