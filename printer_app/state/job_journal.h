// Between two saves of the whole state, every change of a job is appended to a journal beside
// the state file: one line per change, the job as PAPPL saves it plus its printer's id. A whole
// save costs time in proportion to the job history (PAPPL keeps every job of the last minute),
// a journal line does not. A whole save starts a new journal and drops the old one once the
// state holds it; at start both are applied to the saved state before PAPPL loads it.
// A new job's first line also carries its attributes (what PAPPL's loader reads from a file of
// the job's own in the spool): that file is written only at start, for a job the journal brings
// back unprinted, so that a job costs no file besides its document.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace qxapp {

enum class JournalWrite { kWritten, kWrittenSaveDue, kFailed };

// Opens the journal at `path` (created when absent; emptied when `empty`).
bool OpenJobJournal(const std::string& path, bool empty);
bool JobJournalOpen();

// Appends the job as it is now (with its attributes when `withAttributes`: a new job's first
// line). kWrittenSaveDue: the journal is long, a whole save is due. Reads the job without taking
// its lock (PAPPL may hold it for writing as it reports the change).
JournalWrite JournalJob(pappl_job_t* job, bool withAttributes = false);

// Removes the attributes file a whole save wrote for the job, once it has ended.
void RemoveJobAttributes(pappl_job_t* job);

// Around a whole save: the lines so far go aside (kept until DropSavedJournal, and applied at
// start should the save not end), and a new journal takes the next ones.
bool SetJournalAside();
void DropSavedJournal();

// Whether the journal (with the lines set aside) is open and short of asking for a whole save.
bool JobJournalShort();

// The journals' texts (the one set aside first) for the start.
std::string ReadJobJournals();

// PAPPL's saved state text with every line made to fit PAPPL's loader (state_line.h): a job's
// long name or user name is shortened there (the job keeps it whole), so is a long location or
// organisation. Returns whether it changed.
bool FitSavedLines(std::string* stateText);

// A job's attributes file, as PAPPL's loader looks for it in the spool folder.
struct JobAttributesFile {
  std::string name;   // the file's name, no folder
  std::string bytes;  // IPP encoded
};

// Applies journal lines to PAPPL's state text: a job's last line replaces its line there or is
// added to its printer; a line never takes a job back (a pending line does not undo its
// completion). Jobs of printers the state does not hold are left out. The attributes of each job
// the journal leaves unended go to `attributeFiles` (when given). Returns whether the text
// changed.
bool ApplyJobJournal(const std::string& journal, std::string* stateText,
                     std::vector<JobAttributesFile>* attributeFiles = nullptr);

// Keeps each printer's ended jobs to its MaxCompletedJobs (0: all), the most recently ended
// ones: PAPPL keeps more for a minute, and drops them without saving the state again. The
// documents of the jobs left out go to `droppedFiles` (when given). Returns whether the text
// changed.
bool TrimJobHistory(std::string* stateText, std::vector<std::string>* droppedFiles = nullptr);

}  // namespace qxapp
