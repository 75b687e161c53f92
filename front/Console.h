// The console streams as the tool writes them: the same bytes on every platform.
#pragma once

/// Sets up standard output and error so that every line ends in "\n" alone, as on Linux.
void prepareConsole();
