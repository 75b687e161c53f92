// The test recorder's view for tests: every call the program made to the port library,
// in order, on a virtual clock that waits advance without any real sleeping.
#pragma once

#include <cstdint>
#include <vector>

/// Control and inspection of the recording port library that the tests link in.
namespace portlib::recorder {

/// One call to the port library.
struct Operation {
    enum class Kind { Init, Write, Sleep };
    Kind kind;
    /// The byte written (Write), the wait in milliseconds (Sleep), or 1/0 for success (Init).
    std::uint32_t value;
};

/// Every call since the last clear(), in order.
const std::vector<Operation>& operations();

/// Forgets the recorded calls.
void clear();

/// Makes later initialize() calls fail (true) or succeed (false).
void failInitialisation(bool fail);

/// Makes the port fail, as an unplugged adapter does, once `writes` more writes have
/// been recorded; a negative count never fails.
void failAfterWrites(int writes);

/// Milliseconds waited so far on the virtual clock.
std::int64_t virtualNow();

}  // namespace portlib::recorder
