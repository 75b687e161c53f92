#include "platform/BoardText.h"

namespace board {

const char* usualBoard(const std::string& vendor, const std::string& product) {
    if (vendor == "2341" || vendor == "2a03") {
        return "Arduino";
    }
    if (vendor == "1a86" && product == "7523") {
        return "CH340 serial";
    }
    if (vendor == "0403" && product == "6001") {
        return "FTDI serial";
    }
    if (vendor == "10c4" && product == "ea60") {
        return "CP210x serial";
    }
    return nullptr;
}

std::string listedKind(const char* usual) {
    return std::string("board? (") + usual + ")";
}

std::string notAskedNote(const std::string& name) {
    // Opening the port restarts most of these boards (and would cut short a stroke of a run
    // that has one): whether the pmc10 firmware answers is not asked while listing.
    return "not asked whether the pmc10 firmware answers: opening restarts the board; pmc10 "
           "--port " +
           name + " asks";
}

std::string flashCommand(const std::string& device) {
    return "avrdude -p atmega328p -c arduino -P " + device +
           " -b 115200 -U flash:w:" + firmwarePath() + ":i";
}

}  // namespace board
