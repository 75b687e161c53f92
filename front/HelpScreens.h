// The help screens: the usage screen of a plain `pmc10`, and --help, which adds the
// options, the verbs, the PORT forms and where the manual is, all read from their tables.
#pragma once

#include <string>
#include <vector>

#include "front/CommandLine.h"

/// Writes the usage screen, naming the program as it was started.
void printUsage(const CommandLine& commandLine);

/// Writes what --help adds after the usage screen.
void printHelp();

/// One PORT form of a backend: the text ("ftdi:s:VID:PID:SERIAL") and what it names.
struct PortForm {
    std::string text;
    std::string help;
};

/// The PORT forms of every backend this build has, in the registry's order.
std::vector<PortForm> portForms();
