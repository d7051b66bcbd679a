// What the sub-commands check before PAPPL's main loop talks to the server: that one runs, and
// that the printer they name exists (PAPPL's clients would start a private server, or list
// nothing for a printer that is not there).
#pragma once

#include <string>

namespace qxapp {

// The local socket of the running server, where PAPPL's clients look for it; empty when none
// answers, with the paths tried in `tried`.
std::string FindServerSocket(const std::string& baseName, std::string* tried);

// True when the server on `socketPath` has a printer of that name.
bool ServerHasPrinter(const std::string& socketPath, const std::string& printerName);

}  // namespace qxapp
