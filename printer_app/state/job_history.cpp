#include "printer_app/state/job_history.h"

#include <algorithm>
#include <numeric>

namespace qxapp {
namespace {

// Often enough that an ended job beyond the history leaves soon after its grace.
constexpr int kCleanSeconds = 5;

thread_local bool t_noting = false;
thread_local cups_array_t* t_counted = nullptr;

// The list PAPPL counts for `count` (one of its counting accessors, which take no lock).
cups_array_t* ListCountedBy(int (*count)(pappl_printer_t*), pappl_printer_t* printer) {
  t_counted = nullptr;
  t_noting = true;
  count(printer);
  t_noting = false;
  return t_counted;
}

bool CleanTimer(pappl_system_t* system, void*) {
  papplSystemCleanJobs(system);
  return true;
}

}  // namespace

std::vector<size_t> JobsBeyondHistory(const std::vector<EndedJob>& ended, int limit, time_t now) {
  if (limit <= 0 || ended.size() <= static_cast<size_t>(limit)) return {};
  std::vector<size_t> order(ended.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return ended[a].completed != ended[b].completed ? ended[a].completed > ended[b].completed
                                                    : ended[a].id > ended[b].id;
  });
  std::vector<size_t> leaving;
  for (size_t n = static_cast<size_t>(limit); n < order.size(); ++n) {
    const time_t completed = ended[order[n]].completed;
    if (completed > 0 && completed < now - kEndedJobGraceSeconds) leaving.push_back(order[n]);
  }
  return leaving;
}

void NoteCountedArray(cups_array_t* array) {
  if (t_noting) t_counted = array;
}

void CleanPrinterHistory(pappl_printer_t* printer, void (*original)(pappl_printer_t*)) {
  cups_array_t* all = ListCountedBy(papplPrinterGetNumberOfJobs, printer);
  cups_array_t* completed = ListCountedBy(papplPrinterGetNumberOfCompletedJobs, printer);
  const int limit = papplPrinterGetMaxCompletedJobs(printer);
  if (limit > 0 && all && completed && all != completed) {
    std::vector<pappl_job_t*> jobs;
    std::vector<EndedJob> ended;
    for (int i = 0, count = cupsArrayCount(completed); i < count; ++i) {
      auto* job = static_cast<pappl_job_t*>(cupsArrayIndex(completed, i));
      jobs.push_back(job);
      ended.push_back({papplJobGetID(job), papplJobGetTimeCompleted(job)});
    }
    for (size_t at : JobsBeyondHistory(ended, limit, time(nullptr))) {
      pappl_job_t* job = jobs[at];
      // Only a job both lists hold (every ended job): the list of all jobs frees it as PAPPL's
      // own clean-up has it.
      if (cupsArrayFind(all, job) != job) continue;
      cupsArrayRemove(completed, job);
      cupsArrayRemove(all, job);
    }
  }
  original(printer);
}

void KeepJobHistoryBounded(pappl_system_t* system) {
  papplSystemAddTimerCallback(system, time(nullptr) + kCleanSeconds, kCleanSeconds, CleanTimer, nullptr);
}

}  // namespace qxapp
