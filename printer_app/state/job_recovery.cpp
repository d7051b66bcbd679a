#include "printer_app/state/job_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "printer_app/devices/device_guard.h"
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

namespace {

// Writes the attributes files of the jobs the journal brought back, where PAPPL's loader looks
// for them; one already there (a whole save's) is PAPPL's own and stays.
void WriteAttributeFiles(const std::string& spoolDir, const std::vector<JobAttributesFile>& files) {
  for (const JobAttributesFile& file : files) {
    const std::string path = spoolDir + "/" + file.name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) continue;
    const bool written =
        write(fd, file.bytes.data(), file.bytes.size()) == static_cast<ssize_t>(file.bytes.size());
    if (close(fd) != 0 || !written) unlink(path.c_str());
  }
}

// Removes the documents of jobs left out of the history, those in the spool only.
void RemoveSpooledFiles(const std::string& spoolDir, const std::vector<std::string>& files) {
  for (const std::string& file : files)
    if (file.compare(0, spoolDir.size() + 1, spoolDir + "/") == 0 && file.find("/..") == std::string::npos)
      unlink(file.c_str());
}

}  // namespace

std::vector<SavedJobId> RecoverSavedJobs(const std::string& stateFile, const std::string& spoolDir,
                                         const std::string& journal, bool* journalHeld) {
  *journalHeld = journal.empty();
  std::string text;
  if (!ReadTextFile(stateFile, &text)) return {};
  const std::string before = text;
  std::vector<JobAttributesFile> attributeFiles;
  ApplyJobJournal(journal, &text, &attributeFiles);
  std::vector<std::string> dropped;
  TrimJobHistory(&text, &dropped);
  std::vector<SavedJobId> interrupted = RequeueInterruptedJobs(&text);
  WriteAttributeFiles(spoolDir, attributeFiles);
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
  RemoveSpooledFiles(spoolDir, dropped);
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

void KeepSubmittedJob(pappl_job_t* job) {
  if (g_started && job) SaveJobChange(job);
}

void KeepCancelledJobs(pappl_printer_t* printer) {
  if (g_started && printer) SaveStateNow(papplPrinterGetSystem(printer));
}

}  // namespace qxapp
