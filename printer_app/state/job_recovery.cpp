#include "printer_app/state/job_recovery.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <set>
#include <string>

#include "printer_app/devices/device_guard.h"
#include "printer_app/label_driver/barcode_check.h"
#include "printer_app/label_driver/barcode_hold.h"
#include "printer_app/label_driver/raw_stream.h"
#include "printer_app/pappl_layer/original_symbol.h"
#include "printer_app/state/job_journal.h"
#include "printer_app/state/saved_state.h"
#include "printer_app/state/state_line.h"

// PAPPL's own check for pending jobs; it runs only when a job arrives or ends.
extern "C" void _papplPrinterCheckJobs(pappl_printer_t* printer);

namespace qxapp {
namespace {

constexpr int kPending = IPP_JSTATE_PENDING;
constexpr int kProcessing = IPP_JSTATE_PROCESSING;

std::atomic<bool> g_started{false};

// As soon as the system runs, then every minute, so that no pending job ever waits for another
// to arrive. (A timer kept is freed with the system; PAPPL never frees one that ends.)
constexpr int kPendingCheckSeconds = 60;

bool StartPendingJobs(pappl_system_t* system, void*) {
  papplSystemIteratePrinters(
      system, [](pappl_printer_t* printer, void*) { _papplPrinterCheckJobs(printer); }, nullptr);
  return true;
}

}  // namespace

std::vector<SavedJobId> RequeueInterruptedJobs(std::string* text) {
  std::vector<std::string> lines = SplitLines(*text);

  std::vector<SavedJobId> interrupted;
  bool changed = false;
  int printerId = 0, maxJobId = 0;
  size_t nextIdLine = std::string::npos;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.compare(0, 9, "<Printer ") == 0) {
      printerId = StateInt(ParseStateLine(line).Find("id"));
      maxJobId = 0;
      nextIdLine = std::string::npos;
    } else if (line.compare(0, 10, "NextJobId ") == 0) {
      nextIdLine = i;
    } else if (line.compare(0, 4, "Job ") == 0) {
      StateLine job = ParseStateLine(line);
      if (!job.parsed) continue;
      const int id = StateInt(job.Find("id"));
      maxJobId = std::max(maxJobId, id);
      if (StateInt(job.Find("state")) != kProcessing) continue;
      job.Set("state", std::to_string(kPending));
      job.Erase("processing");
      lines[i] = FormatStateLine(job);
      interrupted.emplace_back(printerId, id);
      changed = true;
    } else if (line == "</Printer>" && nextIdLine != std::string::npos) {
      const std::string nextId = lines[nextIdLine].substr(10);
      if (StateInt(&nextId) > maxJobId) continue;
      lines[nextIdLine] = "NextJobId " + std::to_string(maxJobId + 1);
      changed = true;
    }
  }
  if (changed) *text = JoinLines(lines);
  return interrupted;
}

std::vector<SavedJobId> RecoverSavedJobs(const std::string& stateFile, const std::string& journal,
                                         bool* journalHeld) {
  *journalHeld = journal.empty();
  std::string text;
  if (!ReadTextFile(stateFile, &text)) return {};
  const std::string before = text;
  ApplyJobJournal(journal, &text);
  std::vector<SavedJobId> interrupted = RequeueInterruptedJobs(&text);
  if (text == before) {
    *journalHeld = true;
    return interrupted;
  }
  const std::string temp = stateFile + ".requeue";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      std::remove(temp.c_str());
      return {};
    }
  }
  if (std::rename(temp.c_str(), stateFile.c_str()) != 0) return {};
  *journalHeld = true;
  return interrupted;
}

void ResumeSavedJobs(pappl_system_t* system, const std::vector<SavedJobId>& interrupted) {
  RemoveOutputsOfUnprintedJobs(system);
  for (const auto& [printerId, jobId] : interrupted) {
    pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr);
    pappl_job_t* job = printer ? papplPrinterFindJob(printer, jobId) : nullptr;
    if (!job || papplJobGetState(job) != IPP_JSTATE_PENDING) continue;
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Interrupted by the app's stop: printing it again from the start.");
    papplJobSetMessage(job, "Interrupted when the app stopped; printing again from the start.");
  }
  g_started = true;
  papplSystemAddTimerCallback(system, time(nullptr), kPendingCheckSeconds, StartPendingJobs, nullptr);
}

namespace {

// Set while PAPPL creates a job the journal keeps: PAPPL would count the new job as a change of
// its configuration and save the whole state for it.
thread_local bool t_creatingJournaledJob = false;

// A change of a job's state from outside its processing (cancelled, held or released).
void KeepChangedJob(pappl_job_t* job) {
  if (g_started && job) SaveJobChange(job);
}

// PAPPL keeps the name it is given, not a copy: one that must change is kept here for the
// process (each distinct one once).
const char* KeptOnOneLine(const char* text) {
  if (!text) return text;
  const std::string kept = WithoutControls(text);
  if (kept == text) return text;
  static std::mutex lock;
  static std::set<std::string> names;
  std::lock_guard<std::mutex> hold(lock);
  return names.insert(kept).first->c_str();
}

}  // namespace
}  // namespace qxapp

extern "C" {

// A new job is kept before it is answered, so that it is never lost and its id never given
// again: its attributes file at once (what PAPPL's loader needs besides its line), its line for
// Create-Job at once (answered with the id), for Print-Job once its document is spooled. Jobs
// restored from the saved state (an id of their own) are kept already.
__attribute__((visibility("default"))) pappl_job_t* _papplJobCreate(pappl_printer_t* printer, int job_id,
                                                                    const char* username, const char* format,
                                                                    const char* job_name, ipp_t* attrs) {
  using Fn = pappl_job_t* (*)(pappl_printer_t*, int, const char*, const char*, const char*, ipp_t*);
  static const Fn original = qxapp::Original<Fn>("_papplJobCreate");
  const bool keep = job_id <= 0 && qxapp::g_started;
  qxapp::t_creatingJournaledJob = keep && qxapp::JobJournalOpen();
  // The name goes into the saved state's lines: a control character there (a local job's; a
  // client's is refused with its request) would break a line.
  pappl_job_t* job = original(printer, job_id, username, format, qxapp::KeptOnOneLine(job_name), attrs);
  const bool journaled = qxapp::t_creatingJournaledJob;
  qxapp::t_creatingJournaledJob = false;
  if (!job || !keep) return job;
  if (!journaled || !qxapp::WriteJobAttributes(job, attrs)) {
    qxapp::SaveStateNow(papplPrinterGetSystem(printer));
  } else if (!attrs || ippGetOperation(attrs) != IPP_OP_PRINT_JOB) {
    qxapp::SaveJobChange(job);
  }
  return job;
}

// A job whose document is spooled is kept before its acceptance is answered.
__attribute__((visibility("default"))) void _papplJobSubmitFile(pappl_job_t* job, const char* filename) {
  using Fn = void (*)(pappl_job_t*, const char*);
  static const Fn original = qxapp::Original<Fn>("_papplJobSubmitFile");
  qxapp::CheckSubmittedStream(job, filename);
  qxapp::HoldForBarcodeCheck(job);
  original(job, filename);
  qxapp::KeepChangedJob(job);
}

__attribute__((visibility("default"))) void _papplSystemConfigChanged(pappl_system_t* system) {
  using Fn = void (*)(pappl_system_t*);
  static const Fn original = qxapp::Original<Fn>("_papplSystemConfigChanged");
  if (!qxapp::t_creatingJournaledJob) original(system);
}

// Every job of the printer cancelled at once (Cancel-Jobs, the web page's "Cancel All Jobs"):
// the whole state, once.
__attribute__((visibility("default"))) void papplPrinterCancelAllJobs(pappl_printer_t* printer) {
  using Fn = void (*)(pappl_printer_t*);
  static const Fn original = qxapp::Original<Fn>("papplPrinterCancelAllJobs");
  original(printer);
  if (qxapp::g_started && printer) qxapp::SaveStateNow(papplPrinterGetSystem(printer));
}

// Cancelled, held or released: kept before the answer.
__attribute__((visibility("default"))) void papplJobCancel(pappl_job_t* job) {
  using Fn = void (*)(pappl_job_t*);
  static const Fn original = qxapp::Original<Fn>("papplJobCancel");
  original(job);
  qxapp::KeepChangedJob(job);
}

__attribute__((visibility("default"))) bool papplJobHold(pappl_job_t* job, const char* username,
                                                         const char* until, time_t until_time) {
  using Fn = bool (*)(pappl_job_t*, const char*, const char*, time_t);
  static const Fn original = qxapp::Original<Fn>("papplJobHold");
  const bool held = original(job, username, until, until_time);
  if (held) qxapp::KeepChangedJob(job);
  return held;
}

__attribute__((visibility("default"))) bool papplJobRelease(pappl_job_t* job, const char* username) {
  using Fn = bool (*)(pappl_job_t*, const char*);
  static const Fn original = qxapp::Original<Fn>("papplJobRelease");
  // A job the bar code check holds is printing already: it goes on at once.
  if (qxapp::ReleaseCheckHold(job)) return true;
  const bool released = original(job, username);
  if (released) qxapp::KeepChangedJob(job);
  return released;
}

}  // extern "C"
