#include "commands/Listing.h"

#include <iomanip>
#include <iostream>

#include "commands/CompoundCommands.h"
#include "keypad/Red10.h"
#include "keypad/TextHelpers.h"

namespace {

constexpr int kNameField = 20;

}  // namespace

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

void printCableHelp() {
    printLines({
        "",
        "  How To Build the Cable",
        "",
        "  There are only 4 pins that contain signal values.",
        "  The 5th is ground. ",
        "  ",
        "  If you look at the 5-pin male DIN connector, with the orientation",
        "  tabs at the 4 and 8 o'clock position and the pins pointing toward",
        "  your face, I refer to the pins according to the table below.",
        "  The colors Red, Yellow, Black, Orange, Green refer to Radio Shack ",
        "  6-pin DIN keyboard extender cable (26-149A). ",
        "  The colors Red, Brown, Orange, Green, Black refer to Australian Jay Car ",
        "  6-pin DIN keyboard extender cable. ",
        "  Beware that your cable may be using different colors! ",
        "  ",
        "  PIN      POSITION      RADIO SHACK COLOR    PIN ON PAR.PORT   JAYCAR COLOR",
        "  ==============================================================================",
        "  Pin A =~  9 o'clock    Red                   2                Red",
        "  Pin B =~ 10 o'clock    Yellow                3                Brown",
        "  Pin C =~  7 o'clock    Black                18 (ground)       Orange",
        "  Pin D =~  3 o'clock    Orange                4                Green",
        "  Pin E =~  2 o'clock    Green                 5                Black",
        "",
        "  details:",
        "     The \"Hardware\" section of the pmc10 README: cable, permissions, checks.",
        "     Parallel-port pins 2, 3, 4, 5 are data bits D0 to D3; pin 18 is ground.",
        "     The pmc10 README, also named on the usage screen (run pmc10 alone).",
        "",
    });
}
