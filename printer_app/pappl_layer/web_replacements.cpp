// The printer's web pages: what they show of other users' jobs (replaced_functions.def says why).
#include <pappl/pappl.h>

#include "printer_app/access/job_privacy.h"
#include "printer_app/pappl_layer/original_symbol.h"

namespace {

// The job's owner as PAPPL keeps it, whoever views the page.
const char* OwnerOf(pappl_job_t* job) {
  using Fn = const char* (*)(pappl_job_t*);
  static const Fn original = qxapp::Original<Fn>("papplJobGetUsername");
  return original(job);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) const char* papplJobGetName(pappl_job_t* job) {
  using Fn = const char* (*)(pappl_job_t*);
  static const Fn original = qxapp::Original<Fn>("papplJobGetName");
  return job ? qxapp::ShownToViewer(original(job), OwnerOf(job)) : original(job);
}

__attribute__((visibility("default"))) const char* papplJobGetUsername(pappl_job_t* job) {
  const char* owner = OwnerOf(job);
  return job ? qxapp::ShownToViewer(owner, owner) : owner;
}

// A printer's web page (its home and jobs pages among them) is drawn between its header and
// footer: the viewer is known from one to the other.
__attribute__((visibility("default"))) void papplClientHTMLPrinterHeader(pappl_client_t* client,
                                                                         pappl_printer_t* printer,
                                                                         const char* title, int refresh,
                                                                         const char* label,
                                                                         const char* path_or_url) {
  using Fn = void (*)(pappl_client_t*, pappl_printer_t*, const char*, int, const char*, const char*);
  static const Fn original = qxapp::Original<Fn>("papplClientHTMLPrinterHeader");
  qxapp::SetWebViewer(client);
  original(client, printer, title, refresh, label, path_or_url);
}

__attribute__((visibility("default"))) void papplClientHTMLPrinterFooter(pappl_client_t* client) {
  using Fn = void (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("papplClientHTMLPrinterFooter");
  original(client);
  qxapp::SetWebViewer(nullptr);
}

}  // extern "C"
