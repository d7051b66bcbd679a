#include "printer_app/label_driver/job_thread.h"

namespace qxapp {
namespace {

// PAPPL hands the device code no job: the job is known by the thread that processes it.
thread_local pappl_job_t* t_job = nullptr;

}  // namespace

pappl_job_t* CurrentJob() { return t_job; }

void SetCurrentJob(pappl_job_t* job) { t_job = job; }

}  // namespace qxapp
