#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "front/Console.h"

// Text mode would turn each "\n" into "\r\n"; the screens are the same bytes as on Linux.
void prepareConsole() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
