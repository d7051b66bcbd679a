// Every job that ends aborted says why in its job-state-message: PAPPL 1.3.1 logs the cause
// ("Bad raster data seen.", "Unable to process job with format ...") and leaves the job's
// message unset, which clients then see as a bare "Job aborted.".
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// At the end of the job's processing on this thread: an aborted job without a message of its
// own gets the last error logged for it here.
void GiveAbortReason(pappl_job_t* job);

}  // namespace qxapp
