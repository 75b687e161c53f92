#include "commands/Listing.h"

#include <iomanip>
#include <iostream>

#include "commands/CompoundCommands.h"
#include "keypad/Red10.h"

namespace {
constexpr int kNameField = 20;
}

void printAvailableCommands() {
    std::cout << std::endl;
    std::cout << "  Available Commands" << std::endl;
    instance().listCommands();
    std::cout << std::endl;
}

void Red10::listCommands() const {
    // The field settings are put back afterwards so that later output is not affected.
    const std::ios_base::fmtflags saved = std::cout.flags();
    std::cout << std::left << std::hex;
    for (const auto& [name, code] : keyCodes) {
        std::cout << "  " << std::setw(kNameField) << name << " -> 0x" << code << std::endl;
    }
    std::cout << std::endl;
    std::cout << "  Compound commands" << std::endl;
    for (const auto& [name, expansion] : compoundCommands) {
        std::cout << "  " << std::setw(kNameField) << name << " -> " << expansion << std::endl;
    }
    std::cout.flags(saved);
}
