// A PWG or Apple raster document kept in the spool: a held job's, which PAPPL would have printed
// as it arrived (document_spool.cpp keeps it instead). It is read by libcups' raster reader, as
// PAPPL reads a streamed one, and its pages go through the same raster callbacks (label_job.h),
// so it prints exactly as the same document streamed; a waiting job's pictures and its bar code
// check before printing are made by the same reading.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "printer_app/label_driver/label_job.h"

namespace qxapp {

bool IsRasterFormat(const char* format);

// The MIME filter of both raster formats to the printer's own.
bool PrintRasterFile(pappl_job_t* job, pappl_device_t* device, void* data);

// The stream the job's raster document at `path` prints as, page by page to `made`, nothing
// sent anywhere. Throws ToolError with what stops it.
void MakeRasterStream(pappl_job_t* job, const std::string& path, const WaitingPage& made);

}  // namespace qxapp
