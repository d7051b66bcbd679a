#include "printer_app/job_recovery.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "printer_app/original_symbol.h"
#include "printer_app/saved_state.h"

// PAPPL's own check for pending jobs; it runs only when a job arrives or ends.
extern "C" void _papplPrinterCheckJobs(pappl_printer_t* printer);

namespace qxapp {
namespace {

constexpr int kPending = IPP_JSTATE_PENDING;
constexpr int kProcessing = IPP_JSTATE_PROCESSING;

// One line of PAPPL's state file: a directive and its name="value" pairs (a value escapes '"'
// and '\' with '\').
struct StateLine {
  std::string directive;
  std::vector<std::pair<std::string, std::string>> pairs;
  bool parsed = false;

  const std::string* Find(const std::string& name) const {
    for (const auto& [key, value] : pairs)
      if (key == name) return &value;
    return nullptr;
  }
};

StateLine ParseLine(const std::string& line) {
  StateLine out;
  size_t at = line.find(' ');
  out.directive = line.substr(0, at);
  while (at != std::string::npos && at < line.size()) {
    while (at < line.size() && line[at] == ' ') ++at;
    if (at >= line.size() || line[at] == '>') break;
    const size_t equals = line.find("=\"", at);
    if (equals == std::string::npos) return out;
    std::string name = line.substr(at, equals - at), value;
    size_t i = equals + 2;
    for (; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
    if (i >= line.size()) return out;
    out.pairs.emplace_back(std::move(name), std::move(value));
    at = i + 1;
  }
  out.parsed = true;
  return out;
}

std::string FormatLine(const StateLine& line) {
  std::string text = line.directive;
  for (const auto& [name, value] : line.pairs) {
    text += " " + name + "=\"";
    for (char c : value) {
      if (c == '"' || c == '\\') text += '\\';
      text += c;
    }
    text += '"';
  }
  return text;
}

int ToInt(const std::string* text) {
  try {
    return text ? std::stoi(*text) : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

bool ReadText(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

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
  std::vector<std::string> lines;
  std::istringstream in(*text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);

  std::vector<SavedJobId> interrupted;
  bool changed = false;
  int printerId = 0, maxJobId = 0;
  size_t nextIdLine = std::string::npos;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.compare(0, 9, "<Printer ") == 0) {
      printerId = ToInt(ParseLine(line).Find("id"));
      maxJobId = 0;
      nextIdLine = std::string::npos;
    } else if (line.compare(0, 10, "NextJobId ") == 0) {
      nextIdLine = i;
    } else if (line.compare(0, 4, "Job ") == 0) {
      StateLine job = ParseLine(line);
      if (!job.parsed) continue;
      const int id = ToInt(job.Find("id"));
      maxJobId = std::max(maxJobId, id);
      if (ToInt(job.Find("state")) != kProcessing) continue;
      for (auto& [name, value] : job.pairs)
        if (name == "state") value = std::to_string(kPending);
      std::erase_if(job.pairs, [](const auto& pair) { return pair.first == "processing"; });
      lines[i] = FormatLine(job);
      interrupted.emplace_back(printerId, id);
      changed = true;
    } else if (line == "</Printer>" && nextIdLine != std::string::npos) {
      const std::string nextId = lines[nextIdLine].substr(10);
      if (ToInt(&nextId) > maxJobId) continue;
      lines[nextIdLine] = "NextJobId " + std::to_string(maxJobId + 1);
      changed = true;
    }
  }
  if (changed) {
    text->clear();
    for (const std::string& line : lines) *text += line + "\n";
  }
  return interrupted;
}

std::vector<SavedJobId> RequeueInterruptedJobsIn(const std::string& stateFile) {
  std::string text;
  if (!ReadText(stateFile, &text)) return {};
  const std::string before = text;
  std::vector<SavedJobId> interrupted = RequeueInterruptedJobs(&text);
  if (text == before) return interrupted;
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
  return interrupted;
}

void ResumeSavedJobs(pappl_system_t* system, const std::vector<SavedJobId>& interrupted) {
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

}  // namespace qxapp

extern "C" {

// A new job's id is saved before it is answered, so that it is never given again: Create-Job
// answers with it at once; Print-Job only once its document is spooled, and saved then.
// Jobs restored from the saved state (an id of their own) are not saved again.
__attribute__((visibility("default"))) pappl_job_t* _papplJobCreate(pappl_printer_t* printer, int job_id,
                                                                    const char* username, const char* format,
                                                                    const char* job_name, ipp_t* attrs) {
  using Fn = pappl_job_t* (*)(pappl_printer_t*, int, const char*, const char*, const char*, ipp_t*);
  static const Fn original = qxapp::Original<Fn>("_papplJobCreate");
  pappl_job_t* job = original(printer, job_id, username, format, job_name, attrs);
  const bool printJob = attrs && ippGetOperation(attrs) == IPP_OP_PRINT_JOB;
  if (job && job_id <= 0 && !printJob && qxapp::g_started)
    qxapp::SaveStateNow(papplPrinterGetSystem(printer));
  return job;
}

// A job whose document is spooled is saved before its acceptance is answered.
__attribute__((visibility("default"))) void _papplJobSubmitFile(pappl_job_t* job, const char* filename) {
  using Fn = void (*)(pappl_job_t*, const char*);
  static const Fn original = qxapp::Original<Fn>("_papplJobSubmitFile");
  original(job, filename);
  if (qxapp::g_started) qxapp::SaveStateNow(papplPrinterGetSystem(papplJobGetPrinter(job)));
}

}  // extern "C"
