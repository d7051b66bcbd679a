// PDF, PNG and JPEG documents, read by the same page readers as `qxvn print` and printed page
// by page. PAPPL renders no PDF; its own PNG reader never ends on a truncated file (it repeats
// the read error) and its JPEG reader prints a truncated file as if it were whole (libjpeg only
// warns), so both images take this way too. Every page is laid out on the job's label as its
// print-scaling and orientation-requested say.
#pragma once

#include <pappl/pappl.h>

#include "common/input/page_source.h"

namespace qxapp {

bool PrintPageFile(pappl_job_t* job, pappl_device_t* device, void* format);

// Every document is read within `limits`.
void RegisterPageFileFilters(pappl_system_t* system, const qxvn::PageLimits& limits = {});

}  // namespace qxapp
