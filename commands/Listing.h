// The screens of the COMMANDS and CABLE verbs: every word the interpreter knows,
// generated from its own tables, and how to build the cable.
#pragma once

/// Writes the COMMANDS screen (both tables) to standard output.
void printAvailableCommands();

/// Writes the wiring of the cable between the parallel port and the foot controller.
void printCableHelp();
