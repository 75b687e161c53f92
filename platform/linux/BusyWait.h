// Waiting for a port that another run holds: said once on standard error, then retried
// in short steps on the monotonic clock, so that a signal still ends the wait at once.
#pragma once

#include <string>

namespace busy_wait {

/// Takes the exclusive advisory lock on `fd`. When another process holds it, says once
/// that this run waits for `what`, and waits. False (errno set) on any other failure.
bool lockExclusive(int fd, const std::string& what);

/// Says once per run, on standard error, that this run waits for `what`.
void sayWaiting(const std::string& what);

/// Waits `milliseconds`, handing any signal that arrives to the run's handling.
void pause(int milliseconds);

}  // namespace busy_wait
