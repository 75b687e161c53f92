// Feeds arbitrary command lines and console input to the tool's entry, on the recording
// port, and stops at the first run that breaks a promise: a key left pressed, a hold or
// gap that is not exactly one key delay, a way back that holds anything but PREV and
// ENTER, or a return path left behind. Sanitizers catch crashes and undefined behaviour.
//
// Input format: argument words separated by NUL bytes; the last piece is standard input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "front/Options.h"
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"
#include "support/EntryRun.h"
#include "support/PortTrace.h"

namespace {

constexpr std::size_t kMaxWords = 64;

void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "promise broken: %s: %s\n", what, detail.substr(0, 400).c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> pieces{""};
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            pieces.emplace_back();
        } else {
            pieces.back() += static_cast<char>(data[i]);
        }
    }
    const std::string input = pieces.back();
    pieces.pop_back();
    if (pieces.size() > kMaxWords) {
        return -1;  // not worth keeping: a long command line only repeats what short ones do
    }
    // Runs stay on the recording port and off the terminal: no option that reaches the
    // machine's own ports (choosing or listing them), its files, or the line editor (the
    // prompt is tested on a pseudo-terminal of its own).
    const Options options = parseOptions(pieces);
    if (!options.port.empty() || options.listPorts || !options.file.empty() ||
        options.interactive) {
        return -1;
    }
    portlib::recorder::clear();
    const EntryRun run = runEntryWith(pieces, input);

    // Every write is part of a whole stroke (code held one key delay, then idle one key
    // delay) or an idle write; the only other wait is the pause before the way back.
    const std::string walk = strokes();
    if (walk.find('[') != std::string::npos) {
        fail("port operations out of pattern", walk);
    }
    if (!instance().getReturnPath().empty()) {
        fail("return path left behind", std::to_string(instance().getReturnPath().size()));
    }
    // A refused run prints no way back; a run that went ahead prints exactly one.
    if (!pieces.empty() && run.status == 0) {
        std::string first = pieces[0];
        toUpperInPlace(first);
        static const std::regex kWayBack("((PREV|ENTER) )* ENTER");
        if (first == "RD" && !std::regex_match(run.out, kWayBack)) {
            fail("way back holds other words", run.out + run.err);
        }
    }
    if (run.status != 0 && run.status != 2) {
        fail("unexpected status", std::to_string(run.status));
    }
    return 0;
}
