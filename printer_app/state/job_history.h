// Each printer's history of ended jobs held to its limit (MaxCompletedJobs) in memory, as the
// saved state holds it (TrimJobHistory): the most recently ended jobs stay, those beyond the limit
// leave once they ended a minute ago (so that a client still asking after its job finds it).
//
// PAPPL 1.3.1's clean-up goes through a printer's ended jobs newest first and stops at the first
// that ended less than a minute ago: while jobs keep coming none ever leaves (every job ever
// printed stays in memory, is written by every save, and keeps the stream the app holds of it),
// and those it does let go are the newest, not the oldest. The app takes over that clean-up (the
// replaced _papplPrinterCleanJobsNoLock) and runs it every few seconds.
#pragma once

#include <cups/array.h>
#include <pappl/pappl.h>

#include <ctime>
#include <vector>

namespace qxapp {

// How long an ended job beyond the limit stays, as PAPPL documents it.
constexpr int kEndedJobGraceSeconds = 60;

struct EndedJob {
  int id = 0;
  time_t completed = 0;  // 0: PAPPL never set it, and the job stays
};

// The positions in `ended` of the jobs that leave a history of `limit` (0 or less: no limit) at
// `now`: beyond the `limit` most recently ended (the later end first, then the higher id), those
// that ended more than kEndedJobGraceSeconds ago.
std::vector<size_t> JobsBeyondHistory(const std::vector<EndedJob>& ended, int limit, time_t now);

// Removes the printer's ended jobs beyond its history. PAPPL's caller holds the printer's lock for
// writing. `original` is PAPPL's clean-up, left what it does besides (a printer's preserved
// documents). Without the printer's job lists (see NoteCountedArray) PAPPL's clean-up alone runs.
void CleanPrinterHistory(pappl_printer_t* printer, void (*original)(pappl_printer_t*));

// PAPPL names a printer's job lists to no one but cupsArrayCount, which the app's shim passes
// here: while CleanPrinterHistory asks PAPPL for the number of the printer's jobs, the list
// counted is noted.
void NoteCountedArray(cups_array_t* array);

// Runs PAPPL's clean-up of every printer every few seconds.
void KeepJobHistoryBounded(pappl_system_t* system);

}  // namespace qxapp
