// With "barcode-check" hold, a job is checked before it prints rather than as it prints: it is
// taken in held, its document made into the stream it would send (by the code that prints it,
// without the device) on a thread of the check's own, and its bar codes read back from that
// stream. A job that passes is released, unless its sender held it; one that fails stays held,
// the failing symbol in its message, until Release-Job prints it or it is cancelled. The
// printer prints its other jobs meanwhile. Each job is checked once.
//
// What the check found is kept in a folder, one file a job, so that after a restart a job held
// for a failed check stays held and one not yet checked is checked.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>

namespace qxapp {

// Keeps the check's findings in `folder` (made if need be) and starts its thread. Before the
// system runs.
void KeepBarcodeChecksIn(pappl_system_t* system, const std::string& folder);
// After the saved jobs are loaded, before the system runs: held jobs get their reasons back,
// jobs not yet checked are checked.
void ResumeBarcodeChecks(pappl_system_t* system);
// The driver's delete callback: at the system's end the check stops (waiting for a check under way).
void StopBarcodeChecksFor(pappl_printer_t* printer, pappl_pr_driver_data_t* data);

// A job's document arrives (before PAPPL queues it): held for the check when its setting is hold.
void HoldForBarcodeCheck(pappl_job_t* job);
// The same for a declared raster document before PAPPL reads it, so that it is spooled rather
// than printed as it arrives.
void HoldRasterForBarcodeCheck(pappl_job_t* job);

// Release-Job of a job the check knows: true when the check takes the release (the job prints
// once it passes); false when PAPPL releases it, marked as released despite a failure.
bool ReleaseBeforeCheck(pappl_job_t* job);

// As the job starts printing: why it cannot print (its check could not make its labels), empty
// when it can; and the bar code check it gets as it prints (off when it passed already, warn
// when released despite a failure, `check` for a job the check has not seen).
std::string CheckRunFailure(pappl_job_t* job);
uint32_t CheckAsItPrints(pappl_job_t* job, uint32_t check);

// IPP answers about jobs: PAPPL 1.3.1 leaves job-hold-until-specified out of job-state-reasons.
void ShowHoldReasons(pappl_client_t* client);

}  // namespace qxapp
