// Runs more than one command line in one go: the lines of a file (-f), a dry run that
// lists the strokes instead of making them (-n), and the prompt (-i). The port is opened
// once and held until the session ends.
#pragma once

#include "front/Options.h"

/// True when the options ask for a file, a dry run or the prompt.
bool wantsSession(const Options& options);

/// Runs the session the options ask for and returns the exit status; the caller releases
/// the port.
int runSession(const Options& options);

/// After the run has been finished (the port released): puts back what a dry run
/// replaced, so that a later run in the same process is a real one.
void endSession(const Options& options);
