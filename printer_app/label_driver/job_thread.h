// The job the calling thread processes. PAPPL opens the job's device and calls its I/O callbacks
// without the job, so the device code asks for the job of its thread.
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// The job the calling thread is processing, or null.
pappl_job_t* CurrentJob();

// From the start of the job's processing on this thread (null at its end).
void SetCurrentJob(pappl_job_t* job);

}  // namespace qxapp
