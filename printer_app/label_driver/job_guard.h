// Keeps one job at a time on each printer and every job processed once, whatever PAPPL 1.3.1's
// job start does: its scheduler can start one pending job on two threads at once, and a raster
// stream can start while another job prints.
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// The printer's job slot, for the job's whole processing: false when another job holds it.
bool ClaimPrinter(pappl_job_t* job);
void ReleasePrinter(pappl_job_t* job);

// The job the calling thread is processing, or null.
pappl_job_t* CurrentJob();

// Starts of a job that had already been processed or started elsewhere, turned away.
unsigned DuplicateStartsIgnored();

}  // namespace qxapp
