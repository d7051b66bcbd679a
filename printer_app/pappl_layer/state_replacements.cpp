// The replaced functions of the saved state, the job journal and the job history
// (replaced_functions.def says why each is needed): thin shims calling printer_app/state/, and the
// bar code check's release.
#include <cups/array.h>
#include <pappl/pappl.h>

#include "printer_app/label_driver/barcode_check.h"
#include "printer_app/label_driver/barcode_hold.h"
#include "printer_app/label_driver/raw_stream.h"
#include "printer_app/pappl_layer/original_symbol.h"
#include "printer_app/state/job_history.h"
#include "printer_app/state/job_recovery.h"
#include "printer_app/state/new_printer_id.h"

extern "C" {

// A job whose document is spooled turns pending without an event: kept before its acceptance is
// answered.
__attribute__((visibility("default"))) void _papplJobSubmitFile(pappl_job_t* job, const char* filename) {
  using Fn = void (*)(pappl_job_t*, const char*);
  static const Fn original = qxapp::Original<Fn>("_papplJobSubmitFile");
  qxapp::CheckSubmittedStream(job, filename);
  qxapp::HoldForBarcodeCheck(job);
  original(job, filename);
  qxapp::KeepSubmittedJob(job);
}

// Every job of the printer cancelled at once (Cancel-Jobs, the web page's "Cancel All Jobs"),
// without an event or a save: the whole state, once.
__attribute__((visibility("default"))) void papplPrinterCancelAllJobs(pappl_printer_t* printer) {
  using Fn = void (*)(pappl_printer_t*);
  static const Fn original = qxapp::Original<Fn>("papplPrinterCancelAllJobs");
  original(printer);
  qxapp::KeepCancelledJobs(printer);
}

// A job the bar code check holds is printing already: it goes on at once. PAPPL's own release
// reports its change (the journal keeps it).
__attribute__((visibility("default"))) bool papplJobRelease(pappl_job_t* job, const char* username) {
  using Fn = bool (*)(pappl_job_t*, const char*);
  static const Fn original = qxapp::Original<Fn>("papplJobRelease");
  if (qxapp::ReleaseCheckHold(job)) return true;
  return original(job, username);
}

__attribute__((visibility("default"))) ipp_attribute_t* ippAddInteger(ipp_t* ipp, ipp_tag_t group,
                                                                      ipp_tag_t valueTag, const char* name,
                                                                      int value) {
  static const auto original = qxapp::Original<decltype(&ippAddInteger)>("ippAddInteger");
  return original(ipp, group, valueTag, name, qxapp::AnnouncedInteger(name, value));
}

// A printer's ended jobs beyond its history leave, the most recently ended staying. PAPPL's
// caller holds the printer's lock for writing.
__attribute__((visibility("default"))) void _papplPrinterCleanJobsNoLock(pappl_printer_t* printer) {
  using Fn = void (*)(pappl_printer_t*);
  static const Fn original = qxapp::Original<Fn>("_papplPrinterCleanJobsNoLock");
  qxapp::CleanPrinterHistory(printer, original);
}

// How the history's clean-up finds a printer's job lists (job_history.h).
__attribute__((visibility("default"))) int cupsArrayCount(cups_array_t* array) {
  static const auto original = qxapp::Original<decltype(&cupsArrayCount)>("cupsArrayCount");
  qxapp::NoteCountedArray(array);
  return original(array);
}

}  // extern "C"
