// The printer's "Print a Label" page: a PDF, PNG, JPEG or text file from the browser, with the
// label size, scaling, orientation, copies and vendor settings chosen on the page. The browser
// sends it to the printer as an ordinary IPP Print-Job, held (job-hold-until "indefinite"),
// so the preview is the held job's labels as the code that prints them lays them out and
// thresholds them (job_labels.h), and nothing reaches the device; Print releases the job, Cancel
// cancels it. A document that cannot be printed is refused with the reason and its job cancelled.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>

namespace qxapp {

// The largest file the page sends: the browser refuses a larger one with a message, and the app
// refuses a larger document from any web page (request_bounds.cpp).
inline constexpr size_t kMaxUploadBytes = size_t{32} << 20;

// Called when the printer is made, with its other pages.
void AddUploadPage(pappl_printer_t* printer);

}  // namespace qxapp
