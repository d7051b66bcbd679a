// What the sub-commands check before PAPPL's main loop talks to the server: which instance's
// control socket to use and that its server runs and is trusted, and that the printer they name
// exists (PAPPL's clients would start a private server, or list nothing for a printer that is
// not there).
#pragma once

#include <string>

namespace qxapp {

struct ServerSocket {
  std::string path;     // the socket of the running server; empty when none is usable
  std::string tried;    // the paths tried, for "none answers on ..."
  std::string problem;  // why none is usable when one answered (not trusted, several running)
};

// The control socket of the server whose state folder is `stateDir` (empty: the default state
// folder's, else the only other instance running). The user's own server first, then root's.
ServerSocket FindServerSocket(const std::string& baseName, const std::string& stateDir,
                              const std::string& defaultStateDir);

// True when the server on `socketPath` has a printer of that name.
bool ServerHasPrinter(const std::string& socketPath, const std::string& printerName);

}  // namespace qxapp
