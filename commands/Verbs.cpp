#include "commands/Verbs.h"

#include <cctype>

#include "commands/Listing.h"
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"

namespace {

const std::vector<Verb> kVerbTable{
    {"CABLE", 0, 0, false, 0, false, "how to wire the cable", [](int) { printCableHelp(); }},
    {"COMMANDS", 0, 0, false, 0, false, "every key and compound command",
     [](int) { printAvailableCommands(); }},
    {"PMCCHANNEL", 1, Red10::kChannels, true, 0, true, "set the controller's own MIDI channel",
     [](int channel) { instance().setRed10Channel(channel); }},
    {"CALIBRATEPEDAL", 1, Red10::kPedals, false, 2, false,
     "calibrate a pedal; answer ok when asked, twice",
     [](int pedal) { Red10::calibratePedal(pedal); }},
    {"STARTCALIBRATEPEDAL", 1, Red10::kPedals, false, 0, false, "open a pedal's calibration page",
     [](int pedal) { instance().startCalibratePedal(pedal); }},
};

bool isAnswerSpace(char c) {
    return c != 0 && std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

const std::vector<Verb>& verbTable() {
    return kVerbTable;
}

const Verb* findVerb(const std::string& word) {
    std::string upper = word;
    toUpperInPlace(upper);
    for (const Verb& verb : kVerbTable) {
        if (upper == verb.name) {
            return &verb;
        }
    }
    return nullptr;
}

std::size_t answersEnd(const std::string& text, std::size_t from, int count) {
    std::size_t at = from;
    for (int answer = 0; answer < count && at < text.size(); ++answer) {
        while (at < text.size() && isAnswerSpace(text[at])) {
            ++at;
        }
        while (at < text.size() && !isAnswerSpace(text[at])) {
            ++at;
        }
    }
    return at;
}
