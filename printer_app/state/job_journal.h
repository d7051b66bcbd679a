// Between two saves of the whole state, every change of a job is appended to a journal beside
// the state file: one line per change, the job as PAPPL saves it plus its printer's id. A whole
// save costs time in proportion to the job history (PAPPL keeps every job of the last minute),
// a journal line does not. A whole save starts a new journal and drops the old one once the
// state holds it; at start both are applied to the saved state before PAPPL loads it.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

enum class JournalWrite { kWritten, kWrittenSaveDue, kFailed };

// Opens the journal at `path` (created when absent; emptied when `empty`).
bool OpenJobJournal(const std::string& path, bool empty);
bool JobJournalOpen();

// Appends the job as it is now. kWrittenSaveDue: the journal is long, a whole save is due.
JournalWrite JournalJob(pappl_job_t* job);

// The job's attributes, where PAPPL's loader looks for them, for a job the whole state does not
// hold yet: what PAPPL copies from the creating request (`request`, none for a local job) and
// the job's own description.
bool WriteJobAttributes(pappl_job_t* job, ipp_t* request);
void RemoveJobAttributes(pappl_job_t* job);

// Around a whole save: the lines so far go aside (kept until DropSavedJournal, and applied at
// start should the save not end), and a new journal takes the next ones.
bool SetJournalAside();
void DropSavedJournal();

// The journals' texts (the one set aside first) for the start.
std::string ReadJobJournals();

// PAPPL's saved state text with every line made to fit PAPPL's loader (state_line.h): a job's
// long name or user name is shortened there (the job keeps it whole), so is a long location or
// organisation. Returns whether it changed.
bool FitSavedLines(std::string* stateText);

// Applies journal lines to PAPPL's state text: a job's last line replaces its line there or is
// added to its printer; a line never takes a job back (a pending line does not undo its
// completion). Jobs of printers the state does not hold are left out. Returns whether the text
// changed.
bool ApplyJobJournal(const std::string& journal, std::string* stateText);

}  // namespace qxapp
