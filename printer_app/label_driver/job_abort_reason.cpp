// The library logs through papplLogJob by its symbol table, so the app's version sees each
// error logged for a job, keeps the last one of the thread's job and logs it unchanged.
#include "printer_app/label_driver/job_abort_reason.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#include "printer_app/pappl_layer/original_symbol.h"

namespace qxapp {
namespace {

thread_local pappl_job_t* t_job = nullptr;
thread_local std::string t_lastError;

}  // namespace

void GiveAbortReason(pappl_job_t* job) {
  if (job == t_job && !t_lastError.empty() && papplJobGetState(job) == IPP_JSTATE_ABORTED) {
    const char* message = papplJobGetMessage(job);
    if (!message || !*message) papplJobSetMessage(job, "%s", t_lastError.c_str());
  }
  if (job == t_job) {
    t_job = nullptr;
    t_lastError.clear();
  }
}

}  // namespace qxapp

extern "C" __attribute__((visibility("default"))) void papplLogJob(pappl_job_t* job, pappl_loglevel_t level,
                                                                   const char* message, ...) {
  using Fn = void (*)(pappl_job_t*, pappl_loglevel_t, const char*, ...);
  static const Fn original = qxapp::Original<Fn>("papplLogJob");
  char text[2048];
  va_list args;
  va_start(args, message);
  std::vsnprintf(text, sizeof text, message ? message : "", args);
  va_end(args);
  if (job && level >= PAPPL_LOGLEVEL_ERROR) {
    qxapp::t_job = job;
    qxapp::t_lastError = text;
    // "... - (null)": the library had no error text to add.
    constexpr std::string_view kNoDetail = " - (null)";
    if (qxapp::t_lastError.ends_with(kNoDetail))
      qxapp::t_lastError.resize(qxapp::t_lastError.size() - kNoDetail.size());
  }
  original(job, level, "%s", text);
}
