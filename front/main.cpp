// The tool's entry point, as a list of steps.
#include "front/CommandLine.h"
#include "front/Entry.h"
#include "platform/Console.h"
#include "platform/Signals.h"
#include "port/Registry.h"

int main(int argc, char** argv) {
    console::guardStandardDescriptors();
    signals::install();
    console::prepare();
#ifdef PMC10_DEFAULT_PORT
    port::setDefault(PMC10_DEFAULT_PORT);
#endif
    return runEntry(CommandLine(argc, argv));
}
