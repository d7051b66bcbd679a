// No accepted job is lost and no job is left stuck by a crash (or kill -9):
// - a job is kept (its line in the job journal, job_journal.h) before its id or acceptance is
//   answered, so that an answered job survives and its id is never given again; so is every
//   later change of its state;
// - a job that was printing when the app stopped prints again from its start after the
//   restart (a label cut short is of no use; the job's message says so), and every pending
//   job starts as soon as the app runs again.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <utility>
#include <vector>

namespace qxapp {

// A saved job, by its printer's id and its own.
using SavedJobId = std::pair<int, int>;

// Rewrites PAPPL's saved state text before it is loaded: jobs saved as processing become
// pending, and each printer's next job id comes after every saved job's. Returns the jobs that
// were processing; `text` unchanged when there were none and the ids were in order.
std::vector<SavedJobId> RequeueInterruptedJobs(std::string* text);

// The same for the state file, with the job journal's lines applied first (the attributes files
// of the jobs it brings back written to `spoolDir`) and each printer's history kept to its
// limit, rewritten in place (by rename) when it changed. `journalHeld`: whether the state file
// now holds the journal.
std::vector<SavedJobId> RecoverSavedJobs(const std::string& stateFile, const std::string& spoolDir,
                                         const std::string& journal, bool* journalHeld);

// After the state is loaded: removes what unprinted jobs left in folders, marks the interrupted
// jobs and starts every pending job once the system runs (and looks for pending jobs every
// minute after).
void ResumeSavedJobs(pappl_system_t* system, const std::vector<SavedJobId>& interrupted);

// Changes PAPPL reports no event for (pappl_layer/state_replacements.cpp): a job whose document
// is spooled, kept before its acceptance is answered; every job of a printer cancelled at once,
// the whole state once. Nothing before ResumeSavedJobs.
void KeepSubmittedJob(pappl_job_t* job);
void KeepCancelledJobs(pappl_printer_t* printer);

}  // namespace qxapp
