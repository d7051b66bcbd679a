// Each error logged for a job while it is processed is kept until its end; the last one is the
// reason an aborted job gives.
#include "printer_app/label_driver/job_abort_reason.h"

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qxapp {
namespace {

std::mutex g_lock;

// The last error of each job being processed, by job. Never destroyed: job threads may still end
// after main returns.
std::unordered_map<const pappl_job_t*, std::string>& LastErrors() {
  static auto* errors = new std::unordered_map<const pappl_job_t*, std::string>;
  return *errors;
}

}  // namespace

void WatchJobErrors(pappl_job_t* job) {
  std::lock_guard<std::mutex> hold(g_lock);
  LastErrors()[job].clear();
}

void NoteJobLog(pappl_job_t* job, pappl_loglevel_t level, const char* text) {
  if (!job || level < PAPPL_LOGLEVEL_ERROR) return;
  std::string error = text;
  // "... - (null)": the library had no error text to add.
  constexpr std::string_view kNoDetail = " - (null)";
  if (error.ends_with(kNoDetail)) error.resize(error.size() - kNoDetail.size());
  std::lock_guard<std::mutex> hold(g_lock);
  if (auto watched = LastErrors().find(job); watched != LastErrors().end())
    watched->second = std::move(error);
}

void GiveAbortReason(pappl_job_t* job) {
  std::string lastError;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    auto watched = LastErrors().find(job);
    if (watched == LastErrors().end()) return;
    lastError = std::move(watched->second);
    LastErrors().erase(watched);
  }
  if (!lastError.empty() && papplJobGetState(job) == IPP_JSTATE_ABORTED) {
    const char* message = papplJobGetMessage(job);
    if (!message || !*message) papplJobSetMessage(job, "%s", lastError.c_str());
  }
}

}  // namespace qxapp
