#include "front/HelpScreens.h"

#include <iostream>

namespace {

void printLines(std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        std::cout << line << std::endl;
    }
}

}  // namespace

void printUsage(const CommandLine& commandLine) {
    std::cout << std::endl;
    std::cout << "  Usage: " << commandLine.programName()
              << " ( [r] { <PMC 10 command> } | cable | commands ) " << std::endl;
    printLines({
        "",
        "  Using this software and an appropriate wire connected ",
        "  to the parallel port of your PC you can send ",
        "  commands to your Digitech PMC 10 MIDI Footcontroller. ",
        "",
        "  How to build the cable: see the archives of the PMC 10 user group.",
        "  Or call this program with cable as the first argument.",
        "",
        "  You can either send hex bytes, e.g. 0xfb or PMC 10 commands, e.g. menu.",
        "  Available commands: Call this program with commands as the",
        "  first argument. You can also mix them and send entire command sequences.",
        "  \"r\" as the first argument will have the PMC 10 return to performance mode.",
        "",
        "  Built by the pmc10 project. On Windows it uses the WinIo port-access library",
        "  (where to get it: see the section \"Windows\" of the pmc10 README)",
        "  to allow access to the parallel port on Win2K.",
        "  Questions and comments: see the pmc10 README, which says where to send them.",
        "  Home page: the pmc10 README, shipped with the program and its sources.",
        "",
        "  Thanks to the PMC 10 user group, whose archives keep this controller alive.",
        "  Thanks to the PMC 10 owners who worked out and documented its key codes.",
        "",
        "  ",
    });
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
