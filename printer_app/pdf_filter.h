// PDF documents: PAPPL renders none, so each page is rendered at 300 dpi by the same page
// reader as `qxvn print` and printed as the job's next page.
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

bool PrintPdf(pappl_job_t* job, pappl_device_t* device, void* context);

void RegisterPdfFilter(pappl_system_t* system);

}  // namespace qxapp
