// The dry run: a port that strokes nothing but notes every key code written, on a
// virtual clock that never waits, so the real interpreter runs unchanged and the listing
// is exactly what would be stroked, with the times the real schedule gives.
#pragma once

#include <string>

namespace dry_run {

/// The PORT text of the dry-run port.
extern const char* const kPortText;

/// Registers the dry-run port and puts the stroke clock on virtual time; chooses it.
void start();

/// Puts back the port choice and the clock that start() replaced (the run has released
/// the port), so that a later run in the same process is a real one again.
void stop();

/// Names the word the following strokes come from ("" for the way back).
void setSource(const std::string& word);

}  // namespace dry_run
