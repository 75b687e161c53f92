// The port listing (--list-ports): every port found on this machine, the one a plain
// run would use, and for each one that cannot be used now, why and the one fix.
#pragma once

/// Writes the listing to standard output; returns the exit status: 0 when at least one
/// port is usable, 1 otherwise.
int printPortList();
