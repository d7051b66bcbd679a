// A job's checks, its document's spooling, its processing and what its log tells
// (replaced_functions.def says why for each).
#include <pappl/pappl.h>

#include <cstdarg>
#include <cstdio>

#include "printer_app/label_driver/barcode_hold.h"
#include "printer_app/label_driver/document_spool.h"
#include "printer_app/label_driver/job_abort_reason.h"
#include "printer_app/label_driver/job_guard.h"
#include "printer_app/options/job_request_check.h"
#include "printer_app/pappl_layer/original_symbol.h"

extern "C" {

__attribute__((visibility("default"))) bool _papplJobValidateDocumentAttributes(pappl_client_t* client) {
  using Fn = bool (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("_papplJobValidateDocumentAttributes");
  return original(client) && qxapp::CheckJobRequest(client);
}

// PAPPL's answer has not been sent yet when this returns.
__attribute__((visibility("default"))) void _papplJobCopyDocumentData(pappl_client_t* client,
                                                                      pappl_job_t* job) {
  using Fn = void (*)(pappl_client_t*, pappl_job_t*);
  static const Fn original = qxapp::Original<Fn>("_papplJobCopyDocumentData");
  qxapp::HoldRasterForBarcodeCheck(job);
  if (!qxapp::SpoolHeldRaster(client, job)) original(client, job);
  qxapp::ExplainSpoolFailure(client, job);
}

__attribute__((visibility("default"))) void* _papplJobProcess(pappl_job_t* job) {
  using Fn = void* (*)(pappl_job_t*);
  static const Fn original = qxapp::Original<Fn>("_papplJobProcess");
  return qxapp::ProcessJobOnce(job, original);
}

__attribute__((visibility("default"))) void _papplJobProcessRaster(pappl_job_t* job, pappl_client_t* client) {
  using Fn = void (*)(pappl_job_t*, pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("_papplJobProcessRaster");
  qxapp::ProcessStreamedJob(job, client, original);
}

__attribute__((visibility("default"))) void papplLogJob(pappl_job_t* job, pappl_loglevel_t level,
                                                        const char* message, ...) {
  using Fn = void (*)(pappl_job_t*, pappl_loglevel_t, const char*, ...);
  static const Fn original = qxapp::Original<Fn>("papplLogJob");
  char text[2048];
  va_list args;
  va_start(args, message);
  std::vsnprintf(text, sizeof text, message ? message : "", args);
  va_end(args);
  qxapp::NoteJobLog(job, level, text);
  original(job, level, "%s", text);
}

}  // extern "C"
