// A printer's settings and defaults as they are set (replaced_functions.def says why for each).
#include <pappl/pappl.h>

#include "printer_app/options/job_request_check.h"
#include "printer_app/options/orientation_default.h"
#include "printer_app/options/printer_defaults.h"
#include "printer_app/pappl_layer/original_symbol.h"

extern "C" {

// Set-Printer-Attributes and Create-Printer's attributes: nothing is set when one is refused.
__attribute__((visibility("default"))) bool _papplPrinterSetAttributes(pappl_client_t* client,
                                                                       pappl_printer_t* printer) {
  using Fn = bool (*)(pappl_client_t*, pappl_printer_t*);
  static const Fn original = qxapp::Original<Fn>("_papplPrinterSetAttributes");
  if (!qxapp::CheckPrinterDefaults(client)) return false;
  return original(client, printer);
}

__attribute__((visibility("default"))) bool papplPrinterSetDriverDefaults(pappl_printer_t* printer,
                                                                          pappl_pr_driver_data_t* data,
                                                                          int num_vendor,
                                                                          cups_option_t* vendor) {
  using Fn = bool (*)(pappl_printer_t*, pappl_pr_driver_data_t*, int, cups_option_t*);
  static const Fn original = qxapp::Original<Fn>("papplPrinterSetDriverDefaults");
  if (!original(printer, data, num_vendor, vendor)) return false;
  qxapp::CompleteDriverDefaults(printer, data);
  return true;
}

// The web interface's Media page and Set-Printer-Attributes of media-ready or media-col-ready.
__attribute__((visibility("default"))) bool papplPrinterSetReadyMedia(pappl_printer_t* printer, int num_ready,
                                                                      pappl_media_col_t* ready) {
  using Fn = bool (*)(pappl_printer_t*, int, pappl_media_col_t*);
  static const Fn original = qxapp::Original<Fn>("papplPrinterSetReadyMedia");
  if (!original(printer, num_ready, ready)) return false;
  qxapp::FollowLoadedLabel(printer);
  return true;
}

}  // extern "C"
