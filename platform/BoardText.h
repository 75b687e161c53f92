// What the pmc10 board's backends say of a board, the same on every platform: the kind
// and note that the port listing gives a serial port that may carry one, and the command
// that loads the board's firmware.
#pragma once

#include <string>

namespace board {

/// For the listing: what the USB IDs (lower-case hex) name when they are those of a usual
/// board or its serial chip, else nullptr; the listed kind; and why it was not asked.
const char* usualBoard(const std::string& vendor, const std::string& product);
std::string listedKind(const char* usual);
std::string notAskedNote(const std::string& name);

/// The avrdude command that loads the firmware on the board at `device`.
std::string flashCommand(const std::string& device);

/// Where the firmware's .hex file is installed (the platform says).
std::string firmwarePath();

}  // namespace board
