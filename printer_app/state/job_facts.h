// What a job's pictures need of it once it has ended: its copies and its label size. PAPPL keeps
// no attributes of an ended job across a restart, so these ride on the job's line in the journal
// and in the saved state, as pairs PAPPL's loader passes over, and are read back at start: a job
// costs no file of its own for them.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "printer_app/state/state_line.h"

namespace qxapp {

struct JobFacts {
  int copies = 1;
  int width = 0;  // the label's, in hundredths of a millimetre; 0 when not known
  int length = 0;
};

// Facts as they are read back (a saved line, a file of an earlier version): none without copies
// of at least 1; the label size only when both sides are plausible.
std::optional<JobFacts> JobFactsOf(long copies, long width, long length);

// Kept for the job `jobId` of the printer `printerId` (as it starts sending), in memory until
// ForgetJobFactsUnless lets it go.
void KeepJobFacts(int printerId, int jobId, const JobFacts& facts);
std::optional<JobFacts> KeptJobFacts(int printerId, int jobId);

// Forgets the facts of every job `exists` no longer finds.
void ForgetJobFactsUnless(const std::function<bool(int printerId, int jobId)>& exists);

// Sets the facts kept for the job onto its line (of printer `printerId`); nothing when none are.
void SetJobFactsOn(int printerId, StateLine* jobLine);

// Keeps the facts on the job lines of a saved state text (at start).
void KeepJobFactsOf(const std::string& stateText);

// Sets the facts kept onto each job line of a saved state text that lacks them (PAPPL's whole
// save writes none). Returns whether the text changed.
bool SetJobFactsOn(std::string* stateText);

}  // namespace qxapp
