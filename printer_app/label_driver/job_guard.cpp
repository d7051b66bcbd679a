// PAPPL 1.3.1 starts a pending job on a new thread without marking the printer busy first, so
// two threads checking the queue at once (a new job arriving as the last one ends) both start
// the same job: it runs twice, at once, and its second run finds its file already gone. Here
// its job thread and raster-stream processing each wait for the printer's slot before PAPPL's
// own code runs, and a job that is no longer pending (or has no spooled file) by then is not
// started again.
// When a job ends, a file it left in a folder device is removed unless it completed (a label
// cut short is of no use). (PAPPL reports its start and its end, which the job journal keeps.)
#include "printer_app/label_driver/job_guard.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "printer_app/devices/device_guard.h"
#include "printer_app/label_driver/job_abort_reason.h"
#include "printer_app/label_driver/job_thread.h"

namespace qxapp {
namespace {

struct PrinterSlot {
  bool busy = false;
  std::condition_variable freed;
};

std::mutex g_slotsLock;
std::map<pappl_printer_t*, PrinterSlot> g_slots;
std::mutex g_ownersLock;
std::map<pappl_printer_t*, int> g_owners;  // printer -> id of the job in our callbacks
std::atomic<unsigned> g_duplicates{0};
// The job's processing on this thread, from its start to its end.
class JobRun {
 public:
  explicit JobRun(pappl_job_t* job) : m_job(job) {
    SetCurrentJob(job);
    WatchJobErrors(job);
    TakeJobOutputFile();
  }
  ~JobRun() {
    const std::string output = TakeJobOutputFile();
    if (!output.empty() && papplJobGetState(m_job) != IPP_JSTATE_COMPLETED && unlink(output.c_str()) == 0)
      papplLogJob(m_job, PAPPL_LOGLEVEL_INFO, "Removed the unfinished output of the job.");
    GiveAbortReason(m_job);
    SetCurrentJob(nullptr);
  }
  JobRun(const JobRun&) = delete;
  JobRun& operator=(const JobRun&) = delete;

 private:
  pappl_job_t* m_job;
};

class SlotHold {
 public:
  explicit SlotHold(pappl_printer_t* printer) : m_printer(printer) {
    std::unique_lock<std::mutex> lock(g_slotsLock);
    PrinterSlot& slot = g_slots[printer];
    slot.freed.wait(lock, [&] { return !slot.busy; });
    slot.busy = true;
  }
  ~SlotHold() {
    std::lock_guard<std::mutex> lock(g_slotsLock);
    PrinterSlot& slot = g_slots[m_printer];
    slot.busy = false;
    slot.freed.notify_one();
  }
  SlotHold(const SlotHold&) = delete;
  SlotHold& operator=(const SlotHold&) = delete;

 private:
  pappl_printer_t* m_printer;
};

}  // namespace

bool ClaimPrinter(pappl_job_t* job) {
  std::lock_guard<std::mutex> lock(g_ownersLock);
  auto [owner, added] = g_owners.emplace(papplJobGetPrinter(job), papplJobGetID(job));
  if (added) return true;
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Job %d is already printing on this printer.", owner->second);
  return false;
}

void ReleasePrinter(pappl_job_t* job) {
  std::lock_guard<std::mutex> lock(g_ownersLock);
  auto owner = g_owners.find(papplJobGetPrinter(job));
  if (owner != g_owners.end() && owner->second == papplJobGetID(job)) g_owners.erase(owner);
}

unsigned DuplicateStartsIgnored() { return g_duplicates.load(); }

void* ProcessJobOnce(pappl_job_t* job, void* (*papplProcess)(pappl_job_t*)) {
  SlotHold hold(papplJobGetPrinter(job));
  if (papplJobGetState(job) != IPP_JSTATE_PENDING || !papplJobGetFilename(job)) {
    ++g_duplicates;
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Job already started once; the second start is ignored.");
    return nullptr;
  }
  JobRun run(job);
  return papplProcess(job);
}

void ProcessStreamedJob(pappl_job_t* job, pappl_client_t* client,
                        void (*papplProcessRaster)(pappl_job_t*, pappl_client_t*)) {
  SlotHold hold(papplJobGetPrinter(job));
  JobRun run(job);
  papplProcessRaster(job, client);
}

}  // namespace qxapp
