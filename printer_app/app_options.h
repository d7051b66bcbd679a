// The command line of qxvn-printer-app.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qxapp {

struct AppOptions {
  std::string stateDir;  // saved state, spool and, by default, the file:// output (empty: the default)
  int port = 8631;
  bool network = false;  // listen on every address, not only on localhost
  std::string logFile;   // "-" standard error; empty: STATE/app.log
  std::string logLevel = "info";
  // Printers to add when the saved state has none of that name: NAME=DEVICE-URI.
  std::vector<std::pair<std::string, std::string>> printers;
  bool help = false;
};

// Throws std::runtime_error with a message for the user.
AppOptions ParseAppOptions(int argc, char** argv);

// The options' help lines.
extern const char* const kAppUsage;

}  // namespace qxapp
