#include "printer_app/label_driver/barcode_hold.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "printer_app/label_driver/barcode_check.h"
#include "printer_app/label_driver/job_labels.h"
#include "printer_app/label_driver/label_driver.h"
#include "printer_app/label_driver/raster_file.h"
#include "printer_app/options/printer_defaults.h"

namespace qxapp {
namespace {

// What the check knows of a job. The words are those of the files.
enum class Status { kChecking, kFailed, kPassed, kReleased, kUnchecked };
constexpr std::pair<Status, const char*> kStatusWords[] = {{Status::kChecking, "checking"},
                                                           {Status::kFailed, "failed"},
                                                           {Status::kPassed, "passed"},
                                                           {Status::kReleased, "released"},
                                                           {Status::kUnchecked, "unchecked"}};

struct Record {
  Status status = Status::kChecking;
  bool senderHeld = false;  // held by its sender or the printer's hold on new jobs, not by the check
  std::string message;      // a failure's or a run failure's words
};

using JobKey = std::pair<int, int>;  // printer id, job id

constexpr const char* kHeldWords = " Held until released.";

// Set before the system runs; the rest under `lock`. Never freed: the thread may still wait on
// it as the process ends.
struct Checks {
  std::mutex lock;
  std::condition_variable changed;
  pappl_system_t* system = nullptr;
  std::string folder;
  std::map<JobKey, Record> records;
  std::deque<JobKey> queue;
  bool busy = false;
  bool stopping = false;
};
Checks* g_checks = nullptr;

JobKey KeyOf(pappl_job_t* job) { return {papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job)}; }

std::string PathOf(const JobKey& key) {
  return g_checks->folder + "/" + std::to_string(key.first) + "-" + std::to_string(key.second);
}

// Kept whole (written beside, then renamed); a record that cannot be kept lives on in memory.
void Store(const JobKey& key, const Record& record) {
  const std::string path = PathOf(key), temp = path + ".new";
  const char* word = "checking";
  for (const auto& [status, name] : kStatusWords)
    if (status == record.status) word = name;
  {
    std::ofstream out(temp, std::ios::trunc);
    out << word << ' ' << (record.senderHeld ? 1 : 0) << ' ' << record.message << '\n';
    if (!out.flush()) return;
  }
  std::rename(temp.c_str(), path.c_str());
}

std::optional<Record> Load(const std::string& path) {
  std::ifstream in(path);
  std::string word;
  int senderHeld = 0;
  if (!(in >> word >> senderHeld)) return std::nullopt;
  Record record;
  bool known = false;
  for (const auto& [status, name] : kStatusWords)
    if (word == name) record.status = status, known = true;
  if (!known) return std::nullopt;
  record.senderHeld = senderHeld != 0;
  std::getline(in >> std::ws, record.message);
  return record;
}

void Erase(const JobKey& key) {
  g_checks->records.erase(key);
  unlink(PathOf(key).c_str());
}

std::optional<Record> RecordOf(pappl_job_t* job) {
  if (!g_checks || !job) return std::nullopt;
  std::lock_guard<std::mutex> hold(g_checks->lock);
  const auto found = g_checks->records.find(KeyOf(job));
  if (found == g_checks->records.end()) return std::nullopt;
  return found->second;
}

// The job's "barcode-check": its own, else its printer's default.
bool ChecksBeforePrinting(pappl_job_t* job) {
  std::string value;
  if (ipp_attribute_t* own = papplJobGetAttribute(job, "barcode-check"))
    if (const char* keyword = ippGetString(own, 0, nullptr)) value = keyword;
  if (value.empty()) {
    std::unique_ptr<ipp_t, decltype(&ippDelete)> attrs(
        papplPrinterGetDriverAttributes(papplJobGetPrinter(job)), ippDelete);
    value = VendorDefault(attrs.get(), "barcode-check");
  }
  return value == "hold";
}

bool HoldUntilSpecified(pappl_job_t* job) {
  return (papplJobGetReasons(job) & PAPPL_JREASON_JOB_HOLD_UNTIL_SPECIFIED) != 0;
}

// The first failing symbol of the job's pages, "" when all passed; `why` when its labels could
// not be made.
std::string CheckJob(pappl_job_t* job, std::string* why) {
  std::string failure;
  *why = MakeWaitingPages(
      job, true,
      [&](unsigned number, const qxvn::barcode::PreparedPage& symbols, const std::vector<uint8_t>& stream) {
        std::string found = CheckLabelStream(job, number, symbols, stream);
        if (failure.empty()) failure = std::move(found);
      });
  return failure;
}

// Acts on what the check found. Called without the lock: releasing calls back in.
void Conclude(pappl_job_t* job, const Record& record) {
  if (record.status == Status::kFailed) {
    // A person must look: a sender's hold until a time becomes a hold until released.
    papplJobHold(job, nullptr, "indefinite", 0);
    papplJobSetReasons(job, PAPPL_JREASON_WARNINGS_DETECTED, PAPPL_JREASON_NONE);
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s%s", record.message.c_str(), kHeldWords);
    papplJobSetMessage(job, "%s%s", record.message.c_str(), kHeldWords);
    return;
  }
  if (record.status == Status::kUnchecked)
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Bar code check: %s", record.message.c_str());
  if (record.senderHeld) {
    if (record.status == Status::kPassed)
      papplJobSetMessage(job, "Bar code check passed; held until released.");
    return;
  }
  if (record.status == Status::kPassed) papplJobSetMessage(job, "Bar code check passed.");
  papplJobRelease(job, nullptr);
}

void CheckNext(const JobKey& key) {
  pappl_system_t* system = g_checks->system;
  pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, key.first, nullptr);
  pappl_job_t* job = printer ? papplPrinterFindJob(printer, key.second) : nullptr;
  Record record;
  bool putBack = false;
  {
    std::lock_guard<std::mutex> hold(g_checks->lock);
    const auto found = g_checks->records.find(key);
    if (!job || papplJobGetState(job) > IPP_JSTATE_STOPPED || found == g_checks->records.end()) {
      Erase(key);
      return;
    }
    // Released by PAPPL meanwhile (a hold until a time ran out): checked as it prints.
    if (papplJobGetState(job) != IPP_JSTATE_HELD || found->second.status != Status::kChecking) return;
    record = found->second;
    // Taken in before PAPPL has its document: looked at again shortly.
    if (!papplJobGetFilename(job)) {
      g_checks->queue.push_back(key);
      putBack = true;
    }
    // A raster document streamed as it arrived (told by its content): checked as it prints.
    else if (!CanMakePagesBeforePrinting(job))
      Erase(key);
  }
  if (putBack) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return;
  }
  if (!CanMakePagesBeforePrinting(job)) {
    if (!record.senderHeld) papplJobRelease(job, nullptr);
    return;
  }
  std::string why;
  const std::string failure = CheckJob(job, &why);
  {
    std::lock_guard<std::mutex> hold(g_checks->lock);
    const auto found = g_checks->records.find(key);
    // Stopping: checked again after the restart.
    if (g_checks->stopping || papplSystemIsShutdown(system) || found == g_checks->records.end()) return;
    if (papplJobIsCanceled(job) || papplJobGetState(job) != IPP_JSTATE_HELD) return;
    record.senderHeld = found->second.senderHeld;  // a release meanwhile cleared it
    record.status = !why.empty() ? Status::kUnchecked : failure.empty() ? Status::kPassed : Status::kFailed;
    record.message = !why.empty() ? why : failure;
    found->second = record;
    Store(key, record);
  }
  Conclude(job, record);
}

void RunChecks() {
  std::unique_lock<std::mutex> lock(g_checks->lock);
  bool ran = false;
  for (;;) {
    g_checks->changed.wait_for(lock, std::chrono::milliseconds(200), [] {
      return g_checks->stopping || (!g_checks->queue.empty() && papplSystemIsRunning(g_checks->system));
    });
    if (g_checks->stopping) break;
    const bool running = papplSystemIsRunning(g_checks->system);
    if (ran && !running) break;  // the system has ended
    ran = ran || running;
    if (!running || g_checks->queue.empty()) continue;
    const JobKey key = g_checks->queue.front();
    g_checks->queue.pop_front();
    g_checks->busy = true;
    lock.unlock();
    CheckNext(key);
    lock.lock();
    g_checks->busy = false;
    g_checks->changed.notify_all();
  }
  g_checks->busy = false;
  g_checks->changed.notify_all();
}

void Queue(const JobKey& key, const Record& record) {
  g_checks->records[key] = record;
  Store(key, record);
  g_checks->queue.push_back(key);
  g_checks->changed.notify_all();
}

bool SweepTimer(pappl_system_t* system, void*) {
  std::lock_guard<std::mutex> hold(g_checks->lock);
  for (auto it = g_checks->records.begin(); it != g_checks->records.end();) {
    const JobKey key = it++->first;
    pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, key.first, nullptr);
    pappl_job_t* job = printer ? papplPrinterFindJob(printer, key.second) : nullptr;
    if (!job || papplJobGetState(job) > IPP_JSTATE_STOPPED) Erase(key);
  }
  return true;
}

}  // namespace

void KeepBarcodeChecksIn(pappl_system_t* system, const std::string& folder) {
  g_checks = new Checks;
  g_checks->system = system;
  g_checks->folder = folder;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot make the folder of the bar code checks '%s': %s",
             folder.c_str(), std::strerror(errno));
  std::thread(RunChecks).detach();
  papplSystemAddTimerCallback(system, time(nullptr) + 60, 60, SweepTimer, nullptr);
}

void ResumeBarcodeChecks(pappl_system_t* system) {
  if (!g_checks) return;
  DIR* dir = opendir(g_checks->folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  for (const std::string& name : names) {
    int printerId = 0, jobId = 0;
    char end = 0;
    if (std::sscanf(name.c_str(), "%d-%d%c", &printerId, &jobId, &end) != 2) continue;
    const JobKey key{printerId, jobId};
    const std::optional<Record> record = Load(PathOf(key));
    pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr);
    pappl_job_t* job = printer ? papplPrinterFindJob(printer, jobId) : nullptr;
    if (!record || !job || papplJobGetState(job) > IPP_JSTATE_STOPPED) {
      unlink(PathOf(key).c_str());
      continue;
    }
    std::lock_guard<std::mutex> hold(g_checks->lock);
    if (record->status == Status::kChecking) {
      // Stopped between the two: the job is held again before anything can start it.
      if (papplJobGetState(job) == IPP_JSTATE_PENDING) papplJobHold(job, nullptr, "indefinite", 0);
      if (papplJobGetState(job) == IPP_JSTATE_HELD) {
        papplJobSetMessage(job, "Checking its bar codes before it prints.");
        Queue(key, *record);
        continue;
      }
    }
    g_checks->records[key] = *record;
    if (record->status == Status::kFailed && papplJobGetState(job) == IPP_JSTATE_HELD) {
      papplJobSetReasons(job, PAPPL_JREASON_WARNINGS_DETECTED, PAPPL_JREASON_NONE);
      papplJobSetMessage(job, "%s%s", record->message.c_str(), kHeldWords);
    }
  }
}

void StopBarcodeChecksFor(pappl_printer_t* printer, pappl_pr_driver_data_t*) {
  // A printer deleted while the system runs: its jobs are no longer found. (PAPPL holds the
  // system's lock then: only its unlocked accessors may be called.)
  if (!g_checks || !papplSystemIsShutdown(papplPrinterGetSystem(printer))) return;
  std::unique_lock<std::mutex> lock(g_checks->lock);
  g_checks->stopping = true;
  g_checks->changed.notify_all();
  g_checks->changed.wait(lock, [] { return !g_checks->busy; });
}

void HoldForBarcodeCheck(pappl_job_t* job) {
  if (!g_checks || !job || !ChecksBeforePrinting(job)) return;
  const char* format = papplJobGetFormat(job);
  // The printer's own stream is not checked.
  if (format && std::strcmp(format, kPrinterFormat) == 0) return;
  Record record;
  record.senderHeld = HoldUntilSpecified(job) || papplPrinterIsHoldingNewJobs(papplJobGetPrinter(job));
  {
    std::lock_guard<std::mutex> hold(g_checks->lock);
    // A raster document is taken in held before it is read, then spooled (document_spool.h).
    if (g_checks->records.count(KeyOf(job))) return;
    Queue(KeyOf(job), record);
  }
  // Held by its sender already, or by the printer (whose release of held jobs leaves those the
  // check holds): the check lets it be.
  if (!record.senderHeld) papplJobHold(job, nullptr, "indefinite", 0);
  papplJobSetMessage(job, "Checking its bar codes before it prints.");
}

void HoldRasterForBarcodeCheck(pappl_job_t* job) {
  if (job && IsRasterFormat(papplJobGetFormat(job))) HoldForBarcodeCheck(job);
}

bool ReleaseBeforeCheck(pappl_job_t* job) {
  if (!g_checks || !job) return false;
  std::lock_guard<std::mutex> hold(g_checks->lock);
  const auto found = g_checks->records.find(KeyOf(job));
  if (found == g_checks->records.end() || papplJobGetState(job) != IPP_JSTATE_HELD) return false;
  Record& record = found->second;
  if (record.status == Status::kChecking) {
    record.senderHeld = false;
    Store(found->first, record);
    papplJobSetMessage(job, "Released: prints once its bar codes pass the check.");
    return true;
  }
  if (record.status == Status::kFailed) {
    record.status = Status::kReleased;
    Store(found->first, record);
    papplJobSetMessage(job, "Released: printing despite the failed bar code check.");
  }
  return false;
}

std::string CheckRunFailure(pappl_job_t* job) {
  const std::optional<Record> record = RecordOf(job);
  return record && record->status == Status::kUnchecked ? record->message : "";
}

uint32_t CheckAsItPrints(pappl_job_t* job, uint32_t check) {
  const std::optional<Record> record = RecordOf(job);
  if (!record) return check;
  switch (record->status) {
    case Status::kPassed:
      return kBarcodeCheckOff;
    case Status::kReleased:
      return kBarcodeCheckWarn;
    default:
      return check;
  }
}

void ShowHoldReasons(pappl_client_t* client) {
  const ipp_op_t op = papplClientGetOperation(client);
  ipp_t* response = papplClientGetResponse(client);
  pappl_printer_t* printer = papplClientGetPrinter(client);
  if ((op != IPP_OP_GET_JOBS && op != IPP_OP_GET_JOB_ATTRIBUTES) || !response || !printer) return;
  constexpr const char* kHeld = "job-hold-until-specified";
  // Each job group: its id, its state and its reasons, the group ending at a separator.
  int id = 0, state = 0;
  ipp_attribute_t* reasons = nullptr;
  auto finish = [&](bool last) {
    pappl_job_t* job = state == IPP_JSTATE_HELD && id > 0 ? papplPrinterFindJob(printer, id) : nullptr;
    if (job && HoldUntilSpecified(job)) {
      if (reasons && !ippContainsString(reasons, kHeld)) {
        if (ippGetCount(reasons) == 1 && std::strcmp(ippGetString(reasons, 0, nullptr), "none") == 0)
          ippSetString(response, &reasons, 0, kHeld);
        else
          ippSetString(response, &reasons, ippGetCount(reasons), kHeld);
      } else if (!reasons && last) {
        // PAPPL adds none when this was its only reason; attributes can only be added last.
        ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", nullptr, kHeld);
      }
    }
    id = state = 0;
    reasons = nullptr;
  };
  bool inJob = false;
  for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
    const char* name = ippGetName(attr);
    if (ippGetGroupTag(attr) != IPP_TAG_JOB || !name) {
      if (inJob) finish(false);
      inJob = false;
      continue;
    }
    inJob = true;
    if (std::strcmp(name, "job-id") == 0) id = ippGetInteger(attr, 0);
    if (std::strcmp(name, "job-state") == 0) state = ippGetInteger(attr, 0);
    if (std::strcmp(name, "job-state-reasons") == 0) reasons = attr;
  }
  if (inJob) finish(true);
}

}  // namespace qxapp
