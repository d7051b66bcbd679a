#include "printer_app/state/saved_state.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "printer_app/options/printer_defaults.h"
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
// rest of a long line as lines of their own.
bool FitSavedJobLines(const std::string& path) {
  std::string text;
  if (!ReadTextFile(path, &text)) return false;
  if (!FitSavedLines(&text)) return true;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

std::mutex g_saveLock;
std::atomic<bool> g_keeping{false};
// Saves asked for and saves begun: a save begun after a request holds what that request
// changed, so requests that wait while another save runs share the next one.
std::atomic<uint64_t> g_requested{0};
uint64_t g_begun = 0;  // under g_saveLock

// Written beside and renamed, so that a crash never leaves half a file. The job journal's lines
// so far are in memory already, so the state saved holds them.
bool SaveState(pappl_system_t* system, void*) {
  std::lock_guard<std::mutex> hold(g_saveLock);
  g_begun = g_requested.load();
  const bool journalAside = SetJournalAside();
  const std::string stateTemp = StateFile() + ".new";
  if (!papplSystemSaveState(system, stateTemp.c_str()) || !FitSavedJobLines(stateTemp) ||
      std::rename(stateTemp.c_str(), StateFile().c_str()) != 0) {
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot save the state to '%s'.", StateFile().c_str());
    return false;
  }
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

}  // namespace

void RestoreAndKeepState(pappl_system_t* system, const std::string& stateFile) {
  StateFile() = stateFile;
  const std::string journal = stateFile + ".jobs";
  OpenJobJournal(journal, false);
  bool journalHeld = false;
  const std::vector<SavedJobId> interrupted = RecoverSavedJobs(stateFile, ReadJobJournals(), &journalHeld);
  if (!OpenJobJournal(journal, journalHeld))
    papplLog(system, PAPPL_LOGLEVEL_WARN,
             "Cannot open the job journal '%s': every job saves the whole state.", journal.c_str());
  papplSystemLoadState(system, stateFile.c_str());
  RestoreSpeeds(system);
  papplSystemSetSaveCallback(system, SaveState, nullptr);
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
  SaveState(system, nullptr);
}

void SaveJobChange(pappl_job_t* job) {
  if (!g_keeping) return;
  if (JournalJob(job) != JournalWrite::kWritten) SaveStateNow(papplPrinterGetSystem(papplJobGetPrinter(job)));
  if (papplJobGetState(job) >= IPP_JSTATE_STOPPED) RemoveJobAttributes(job);
}

}  // namespace qxapp
