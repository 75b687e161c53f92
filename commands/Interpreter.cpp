// Red10's command interpreter: one word at a time, a key is stroked and a compound name
// expanded; the menu moves made with the record flag are noted, undo first, so that the
// foot controller can be walked back to performance mode.
#include <iostream>
#include <sstream>

#include "commands/CompoundCommands.h"
#include "commands/Suggestions.h"
#include "keypad/Red10.h"
#include "keypad/StrokeShape.h"
#include "keypad/TextHelpers.h"

namespace {
Red10* created = nullptr;
}

// The controller is created here, where both its tables are known: the key codes below it
// and the menu tree beside the interpreter.
Red10& instance() {
    // Never destroyed: the port stays open until the run releases it or the process ends.
    static Red10* const controller = created = new Red10();
    return *controller;
}

Red10* existingInstance() {
    return created;
}

// The port opens on first use, not here: a run that strokes nothing (the listing, a
// refused number) never waits for a port that another run holds.
Red10::Red10() {
    fillTables();
    setKeyDelay(stroke_shape::kKeyDelayMs);
}

void Red10::fillTables() {
    fillKeyCodes();
    fillCompoundCommands();
}

void Red10::sendCommand(std::string word, bool record) {
    toUpperInPlace(word);
    const KeyCode code = tokenToKeyCode(word);
    if (code != 0) {
        sendKey(code);
        if (record && code == kNextOrMenu) {
            returnPath.push_front("PREV");
        } else if (record && code == kEnter) {
            returnPath.push_front("ENTER");
            returnPath.push_front("PREV");
        }
        return;
    }
    const std::string expansion = lookupCompound(word);
    if (expansion.empty()) {
        std::cerr << "WARNING: unknown command: <" << word << ">" << std::endl;
        printSuggestion(word);
        return;
    }
    std::istringstream words(expansion);
    for (std::string next; words >> next;) {
        sendCommand(next, record);
    }
}

void Red10::printReturnPath() const {
    for (const std::string& word : returnPath) {
        std::cout << word << ' ';
    }
    // No line end, but flushed: the user sees the way back before the pause.
    std::cout << " ENTER" << std::flush;
}

void Red10::returnToPerformance() {
    returnPath.push_back("ENTER");
    if (!port.lineAbandoned()) {  // an interrupted line walks nothing back
        port.wait(stroke_shape::kReturnPauseMs);
    }
    for (const std::string& word : returnPath) {
        sendCommand(word, false);
    }
    returnPath.clear();
}
