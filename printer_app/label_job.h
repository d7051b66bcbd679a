// PAPPL's raster callbacks for one job: the job's settings are resolved at its start, a page's
// lines are collected into one band and the page is printed through the plug-in at its end,
// and the stream goes to the device. One page per job is held at most.
#pragma once

#include <pappl/pappl.h>

#include "common/input/page_image.h"
#include "printer_app/host_printer.h"

namespace qxapp {

// What the job's pages are printed with: its copies, media and printer data.
PageJob PageJobOf(pappl_job_t* job, const pappl_pr_options_t* options);

bool StartLabelJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool StartLabelPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool WriteLabelLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                    const unsigned char* line);
bool EndLabelPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool EndLabelJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// For a filter that prints the whole document once a copy (collated copies): every page is then
// printed once, and the copies asked for are returned.
int TakeCopies(pappl_job_t* job);

// Prints a page already decoded (B, G, R rows) as the job's next page: the PDF filter's way in.
bool PrintDecodedPage(pappl_job_t* job, pappl_device_t* device, const qxvn::PageImage& page);

// A raw stream in the printer's own format goes to the device unchanged.
bool PrintRawFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace qxapp
