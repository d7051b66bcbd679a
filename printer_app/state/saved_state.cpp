#include "printer_app/state/saved_state.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "printer_app/options/printer_defaults.h"
#include "printer_app/state/job_facts.h"
#include "printer_app/state/job_journal.h"
#include "printer_app/state/job_recovery.h"
#include "printer_app/state/state_line.h"

namespace qxapp {
namespace {

std::string& StateFile() {
  static std::string path;
  return path;
}

std::string SpeedFile() { return StateFile() + ".speed"; }

void WriteSpeed(pappl_printer_t* printer, void* out) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  *static_cast<std::ostringstream*>(out) << papplPrinterGetID(printer) << ' ' << data.speed_default << '\n';
}

// PAPPL writes a line whole, however long a job's name or a location; its loader would read the
// rest of a long line as lines of their own. It saves every ended job of the last minute,
// beyond each printer's history, and none of the facts a job's pictures need (job_facts.h).
bool FitSavedJobLines(const std::string& path, std::string* text) {
  if (!ReadTextFile(path, text)) return false;
  const bool withFacts = SetJobFactsOn(text);
  const bool trimmed = TrimJobHistory(text);
  if (!FitSavedLines(text) && !trimmed && !withFacts) return true;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << *text;
  return static_cast<bool>(out.flush());
}

std::mutex g_saveLock;
std::atomic<bool> g_keeping{false};
// Saves asked for and saves begun: a save begun after a request holds what that request
// changed, so requests that wait while another save runs share the next one.
std::atomic<uint64_t> g_requested{0};
uint64_t g_begun = 0;  // under g_saveLock
// When the last whole save began: only a job created by then may have an attributes file.
std::atomic<time_t> g_lastSave{0};
// A job change asked for a whole save where none could be made at once.
std::atomic<bool> g_saveDue{false};
constexpr int kSaveDueCheckSeconds = 5;

// The state but its jobs (which the journal keeps).
std::string WithoutJobs(const std::string& text) {
  std::string out;
  for (const std::string& line : SplitLines(text))
    if (line.compare(0, 4, "Job ") != 0 && line.compare(0, 10, "NextJobId ") != 0) out += line + "\n";
  return out;
}

// Written beside and renamed, so that a crash never leaves half a file. The job journal's lines
// so far are in memory already, so the state saved holds them. `jobsMayWait`: when nothing but
// jobs changed and the journal is short, the file stays as it is (the journal holds the jobs;
// its lines stay aside until a save that writes the file).
bool SaveWhole(pappl_system_t* system, bool jobsMayWait) {
  std::lock_guard<std::mutex> hold(g_saveLock);
  static std::string savedWithoutJobs;  // under g_saveLock
  g_begun = g_requested.load();
  g_lastSave = time(nullptr);
  g_saveDue = false;
  const bool journalAside = SetJournalAside();
  const std::string stateTemp = StateFile() + ".new";
  std::string text;
  if (!papplSystemSaveState(system, stateTemp.c_str()) || !FitSavedJobLines(stateTemp, &text)) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot save the state to '%s'.", StateFile().c_str());
    return false;
  }
  std::string withoutJobs = WithoutJobs(text);
  if (jobsMayWait && journalAside && withoutJobs == savedWithoutJobs && JobJournalShort()) {
    std::remove(stateTemp.c_str());
    return true;
  }
  if (std::rename(stateTemp.c_str(), StateFile().c_str()) != 0) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot save the state to '%s'.", StateFile().c_str());
    return false;
  }
  savedWithoutJobs = std::move(withoutJobs);
  if (journalAside) DropSavedJournal();
  std::ostringstream speeds;
  papplSystemIteratePrinters(system, WriteSpeed, &speeds);
  // The speeds file is written again only when a speed changed.
  static std::string written;  // under g_saveLock
  if (speeds.str() == written) return true;
  const std::string temp = SpeedFile() + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << speeds.str();
    if (!out.flush()) {
      papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot save the print speeds to '%s'.", temp.c_str());
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), SpeedFile().c_str()) != 0) return false;
  written = speeds.str();
  return true;
}

void RestoreSpeeds(pappl_system_t* system) {
  std::ifstream in(SpeedFile());
  int id = 0, speed = 0;
  while (in >> id >> speed) {
    pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, id, nullptr);
    if (!printer) continue;
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    data.speed_default = speed;
    // Refused (and logged by PAPPL) when out of the printer's range: the driver's default stays.
    papplPrinterSetDriverDefaults(printer, &data, 0, nullptr);
  }
}

// A job that has ended leaves no attributes file behind (a whole save wrote one while it waited).
void ForgetEndedJobFile(pappl_job_t* job) {
  if (papplJobGetState(job) >= IPP_JSTATE_STOPPED && papplJobGetTimeCreated(job) <= g_lastSave)
    RemoveJobAttributes(job);
}

// PAPPL reports a job's creation, its start, its end, a hold, a release and a cancel before it
// answers the client that asked. It may hold the job's lock (and its printer's) for writing as it
// does: a whole save, which reads them, waits for the next check; only a creation, reported with
// both held for reading, saves at once should the journal fail.
void KeepJobEvent(pappl_system_t* system, pappl_printer_t*, pappl_job_t* job, pappl_event_t event, void*) {
  constexpr auto kJobChanges = PAPPL_EVENT_JOB_CREATED | PAPPL_EVENT_JOB_STATE_CHANGED |
                               PAPPL_EVENT_JOB_COMPLETED | PAPPL_EVENT_JOB_STOPPED;
  if (!g_keeping || !job || !(event & kJobChanges) || papplJobGetID(job) <= 0) return;
  // PAPPL reads errno after some of its calls that report events (a short write of a document).
  struct KeepErrno {
    int saved = errno;
    ~KeepErrno() { errno = saved; }
  } keepErrno;
  const bool created = event & PAPPL_EVENT_JOB_CREATED;
  const JournalWrite written = JournalJob(job, created);
  if (written == JournalWrite::kWritten) {
    ForgetEndedJobFile(job);
  } else if (written == JournalWrite::kFailed && created) {
    SaveStateNow(system);
  } else {
    g_saveDue = true;
  }
}

// PAPPL asks after any change of its configuration, a job's included.
bool SaveAsked(pappl_system_t* system, void*) { return SaveWhole(system, true); }

bool SaveIfDue(pappl_system_t* system, void*) {
  if (g_saveDue) SaveStateNow(system);
  return true;
}

}  // namespace

void RestoreAndKeepState(pappl_system_t* system, const std::string& stateFile, const std::string& spoolDir) {
  StateFile() = stateFile;
  const std::string journal = stateFile + ".jobs";
  OpenJobJournal(journal, false);
  bool journalHeld = false;
  const std::vector<SavedJobId> interrupted =
      RecoverSavedJobs(stateFile, spoolDir, ReadJobJournals(), &journalHeld);
  if (!OpenJobJournal(journal, journalHeld))
    papplLog(system, PAPPL_LOGLEVEL_WARN,
             "Cannot open the job journal '%s': every job saves the whole state.", journal.c_str());
  std::string saved;
  if (ReadTextFile(stateFile, &saved)) KeepJobFactsOf(saved);
  papplSystemLoadState(system, stateFile.c_str());
  RestoreSpeeds(system);
  papplSystemSetSaveCallback(system, SaveAsked, nullptr);
  papplSystemSetEventCallback(system, KeepJobEvent, nullptr);
  papplSystemAddTimerCallback(system, time(nullptr) + kSaveDueCheckSeconds, kSaveDueCheckSeconds, SaveIfDue,
                              nullptr);
  papplSystemIteratePrinters(
      system, [](pappl_printer_t* printer, void*) { FitSavedDefaults(printer); }, nullptr);
  g_keeping = true;
  ResumeSavedJobs(system, interrupted);
}

void SaveStateNow(pappl_system_t* system) {
  if (!g_keeping) return;
  const uint64_t ticket = ++g_requested;
  {
    std::lock_guard<std::mutex> hold(g_saveLock);
    if (g_begun >= ticket) return;  // a save begun since holds this change
  }
  SaveWhole(system, false);
}

void SaveJobChange(pappl_job_t* job) {
  if (!g_keeping) return;
  if (JournalJob(job) != JournalWrite::kWritten) SaveStateNow(papplPrinterGetSystem(papplJobGetPrinter(job)));
  ForgetEndedJobFile(job);
}

}  // namespace qxapp
