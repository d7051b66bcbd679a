// The command line of qxvn-printer-app, run by PAPPL's main loop: `server` runs the printer
// system, the other sub-commands talk to a running one over its local socket. The app's own long
// options (app_options.h) configure the server; given without a sub-command they mean `server`.
#pragma once

#include <pappl/pappl.h>

#include "printer_app/cli/app_options.h"

namespace qxapp {

// Makes the configured, not yet running system for the server; nullptr when it cannot.
using SystemFactory = pappl_system_t* (*)(const AppOptions& options);

int RunMainloop(int argc, char** argv, SystemFactory createSystem);

}  // namespace qxapp
