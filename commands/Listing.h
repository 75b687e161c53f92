// The COMMANDS screen: every word the interpreter knows, generated from its own tables.
#pragma once

/// Writes the COMMANDS screen (both tables) to standard output.
void printAvailableCommands();
