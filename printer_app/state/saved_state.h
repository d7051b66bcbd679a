// The app's saved state: PAPPL's own state file, and beside it what PAPPL 1.3.1 leaves out of
// it (each printer's print-speed-default, by printer id), so that every printer default survives a restart.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

// Loads the saved state (its interrupted jobs requeued, job_recovery.h) and makes every later
// change save it again: a job's change (PAPPL's job events) in the job journal, anything else
// whole when PAPPL asks.
void RestoreAndKeepState(pappl_system_t* system, const std::string& stateFile, const std::string& spoolDir);

// Saves the state now (nothing before RestoreAndKeepState). Saves never overlap, and each
// replaces the file whole.
void SaveStateNow(pappl_system_t* system);

// Keeps a change of the job PAPPL reports no event for: its line in the job journal, or the
// whole state when the journal cannot be written or is long. From a thread that holds no lock of
// PAPPL's.
void SaveJobChange(pappl_job_t* job);

}  // namespace qxapp
