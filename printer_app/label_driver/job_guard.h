// Keeps one job at a time on each printer and every job processed once, whatever PAPPL 1.3.1's
// job start does: its scheduler can start one pending job on two threads at once, and a raster
// stream can start while another job prints.
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// PAPPL's job thread (`papplProcess`): the spooled job's whole processing, once, in the
// printer's slot.
void* ProcessJobOnce(pappl_job_t* job, void* (*papplProcess)(pappl_job_t*));

// A raster document processed as it arrives, on the client's thread (`papplProcessRaster`), in
// the printer's slot.
void ProcessStreamedJob(pappl_job_t* job, pappl_client_t* client,
                        void (*papplProcessRaster)(pappl_job_t*, pappl_client_t*));

// The printer's job slot, for the job's whole processing: false when another job holds it.
bool ClaimPrinter(pappl_job_t* job);
void ReleasePrinter(pappl_job_t* job);

// Starts of a job that had already been processed or started elsewhere, turned away.
unsigned DuplicateStartsIgnored();

}  // namespace qxapp
