#include "front/Console.h"

// POSIX streams write bytes as they are; nothing to set up.
void prepareConsole() {}
