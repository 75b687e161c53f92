// Runs the tool's entry in-process for one command line, with the console captured.
#pragma once

#include <string>
#include <vector>

#include "front/CommandLine.h"
#include "front/Entry.h"
#include "support/CapturedStreams.h"

/// What one run of the entry wrote and returned.
struct EntryRun {
    int status;
    std::string out;
    std::string err;
};

/// Runs the entry as `pmc10 <args...>`, with `input` on standard input.
inline EntryRun runEntryWith(const std::vector<std::string>& args, const std::string& input = "",
                             const std::string& programName = "pmc10") {
    std::vector<const char*> argv{programName.c_str()};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    CapturedStreams streams(input);
    const int status = runEntry(CommandLine(static_cast<int>(argv.size()), argv.data()));
    return {status, streams.out(), streams.err()};
}

/// What the controller says of a MIDI channel or a pedal number out of range, as `shown`.
inline std::string channelRefusal(const std::string& shown) {
    return "Red10::setRed10Channel called with invalid channel : <" + shown + ">\n";
}
inline std::string pedalRefusal(const std::string& shown) {
    return "Red10::calibratePedal called with invalid pedal : <" + shown + ">\n";
}
