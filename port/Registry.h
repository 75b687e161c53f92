// Where the kinds of port are registered, and how a PORT text finds its backend.
#pragma once

#include <string>
#include <vector>

#include "port/Port.h"

namespace port {

/// Every backend this build has, in the order they are asked to claim a text.
const std::vector<const Backend*>& backends();

/// Adds a backend at run time, asked before the built-in ones (the tests' recorder).
void addBackend(const Backend* backend);

/// The text a run uses when no port is chosen: set by the executable ("sim" for
/// pmc10-sim); empty for the platform's own default chain.
void setDefault(const std::string& text);
const std::string& defaultText();

/// Chooses the port of this run (from --port or PMC10_PORT); empty for the default.
void choose(const std::string& text);
const std::string& chosen();

/// The backend that takes `text`, or nullptr.
const Backend* backendFor(const std::string& text);

/// Empty when `text` (or the default, when empty) names a usable form; else why not.
std::string check(const std::string& text);

/// Opens the port `text` names; an empty text opens the default: the executable's, or
/// on Linux /dev/parport0 and, where it does not exist, direct I/O at 0x378.
OpenResult open(const std::string& text);

/// Every port found on this machine, with the one a plain run would use marked.
std::vector<PortInfo> list();

/// The --port text of the port a plain run (no --port) would use.
std::string plainRunPort();

}  // namespace port
