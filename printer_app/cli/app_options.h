// The command line of qxvn-printer-app.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/input/page_source.h"
#include "printer_app/access/request_bounds.h"

namespace qxapp {

struct AppOptions {
  std::string stateDir;  // saved state, spool and, by default, the file:// output (empty: the default)
  int port = 8631;
  bool network = false;  // listen on every address, not only on localhost
  std::string logFile;   // "-" standard error; empty: STATE/app.log
  std::string logLevel = "info";
  // Printers to add when the saved state has none of that name, or whose saved device changes:
  // NAME=DEVICE-URI.
  std::vector<std::pair<std::string, std::string>> printers;
  qxvn::PageLimits documentLimits;  // what reading one document may cost
  RequestLimits requestLimits;      // what one client may send and hold
  // Who may administer and print (access_policy.cpp); each is also the name of a PAPPL
  // "-o name=value" server option.
  std::string adminGroup;   // admin-group: local members administer too; checked on sign-in
  std::string authService;  // auth-service: PAM service for signing in over the network
  std::string printGroup;   // print-group: printing only for its members and administrators
  // allowed-folder: where file:// devices may write besides STATE/output.
  std::vector<std::string> allowedFolders;
  bool help = false;
  bool version = false;
};

// The folders file:// devices may write in: the given ones, else STATE/output.
std::vector<std::string> AllowedFolders(const AppOptions& options);

// Puts the options' access policy in force (their groups exist: ParseAppOptions checks), with
// the allowed folders of file:// devices and the folder of the TLS credentials.
void ApplyAccessPolicy(pappl_system_t* system, const AppOptions& options);

// Throws std::runtime_error with a message for the user.
AppOptions ParseAppOptions(int argc, char** argv);

// Throws std::runtime_error naming the rule when a --printer device may not be used; once the
// state folder is known, since it decides the default allowed folder.
void CheckDevices(const AppOptions& options);

// The options' help lines, and who may do what.
extern const char* const kAppUsage;
extern const char* const kAppAccessSummary;

}  // namespace qxapp
