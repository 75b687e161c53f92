// The two fixed help screens: how to call the tool, and how to build the cable.
#pragma once

#include "front/CommandLine.h"

/// Writes the usage screen, naming the program as it was started.
void printUsage(const CommandLine& commandLine);

/// Writes the wiring of the cable between the parallel port and the foot controller.
void printCableHelp();
