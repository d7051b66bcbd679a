// Every job that ends aborted says why in its job-state-message: PAPPL 1.3.1 logs the cause
// ("Bad raster data seen.", "Unable to process job with format ...") and leaves the job's
// message unset, which clients then see as a bare "Job aborted.".
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// The job's processing starts: the errors logged for it are kept from now.
void WatchJobErrors(pappl_job_t* job);

// A line logged for a job (`text` as it is logged): an error of a watched job is kept.
void NoteJobLog(pappl_job_t* job, pappl_loglevel_t level, const char* text);

// At the end of the job's processing: an aborted job without a message of its own gets the last
// error logged for it since WatchJobErrors, and the job is no longer watched.
void GiveAbortReason(pappl_job_t* job);

}  // namespace qxapp
