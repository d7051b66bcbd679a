// The app's saved state: PAPPL's own state file, and beside it what PAPPL 1.3.1 leaves out of
// it (each printer's print-speed-default, by printer id), so that every printer default survives a restart.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

// Loads the saved state and makes every later change save it again.
void RestoreAndKeepState(pappl_system_t* system, const std::string& stateFile);

}  // namespace qxapp
