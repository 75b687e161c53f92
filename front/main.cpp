#include "front/CommandLine.h"
#include "front/Console.h"
#include "front/Entry.h"
#include "keypad/ParallelPort.h"

int main(int argc, char** argv) {
    prepareConsole();
    ParallelPort::idleOnInterrupt();
    return runEntry(CommandLine(argc, argv));
}
