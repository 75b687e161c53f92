// The console streams as the tool uses them: the same bytes on every platform, never a
// port descriptor among them, and waits on them that a signal can end.
#pragma once

#include <cstddef>

namespace console {

/// Opens the null device onto standard input, output or error where one is closed, so
/// that no descriptor the tool opens later (the port) can take their numbers and receive
/// text meant for the console. Call first thing in main().
void guardStandardDescriptors();

/// Sets up std::cin, std::cout and std::cerr: every line ends in "\n" alone, a reader
/// that never reads or a writer that never drains cannot keep a signal from ending the
/// run, and a failed write is dropped without ending it.
void prepare();

/// Writes all of `data` to standard error, or as much as can be written: waits for room
/// while the descriptor is full, handing any signal that arrives to signals::dispatch.
void writeError(const char* data, std::size_t size);

/// Writes `data` to standard error if there is room for it now, else drops it; never
/// waits. Async-signal-safe: for the last trace line on the way out of a signal.
void writeErrorNow(const char* data, std::size_t size) noexcept;

}  // namespace console
