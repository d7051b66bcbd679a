// A client's connection, its requests as they are read and processed, and the answers sent back
// (replaced_functions.def says why for each).
#include <cups/cups.h>
#include <pappl/pappl.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "printer_app/access/access_policy.h"
#include "printer_app/access/job_privacy.h"
#include "printer_app/access/request_bounds.h"
#include "printer_app/label_driver/barcode_hold.h"
#include "printer_app/label_driver/raw_stream.h"
#include "printer_app/pappl_layer/original_symbol.h"

extern "C" {

__attribute__((visibility("default"))) void* _papplClientRun(pappl_client_t* client) {
  using Fn = void* (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("_papplClientRun");
  return qxapp::ServeClient(client, original);
}

__attribute__((visibility("default"))) ipp_state_t ippRead(http_t* http, ipp_t* ipp) {
  using Fn = ipp_state_t (*)(http_t*, ipp_t*);
  static const Fn original = qxapp::Original<Fn>("ippRead");
  return qxapp::ReadRequest(http, ipp, original);
}

__attribute__((visibility("default"))) ssize_t httpRead2(http_t* http, char* buffer, size_t length) {
  using Fn = ssize_t (*)(http_t*, char*, size_t);
  static const Fn original = qxapp::Original<Fn>("httpRead2");
  return qxapp::ReadBody(http, buffer, length, original);
}

__attribute__((visibility("default"))) bool _papplClientProcessIPP(pappl_client_t* client) {
  using Fn = bool (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("_papplClientProcessIPP");
  return qxapp::ProcessRequest(client, original);
}

__attribute__((visibility("default"))) int papplClientGetForm(pappl_client_t* client, cups_option_t** form) {
  using Fn = int (*)(pappl_client_t*, cups_option_t**);
  static const Fn original = qxapp::Original<Fn>("papplClientGetForm");
  return qxapp::ReadForm(client, form, original);
}

__attribute__((visibility("default"))) void _papplPrinterProcessIPP(pappl_client_t* client) {
  using Fn = void (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("_papplPrinterProcessIPP");
  original(client);
  qxapp::CompletePrinterAttributes(client);
}

__attribute__((visibility("default"))) bool papplClientRespond(pappl_client_t* client, http_status_t code,
                                                               const char* content_coding, const char* type,
                                                               time_t last_modified, size_t length) {
  using Fn = bool (*)(pappl_client_t*, http_status_t, const char*, const char*, time_t, size_t);
  static const Fn original = qxapp::Original<Fn>("papplClientRespond");
  if (client && code == HTTP_STATUS_OK && type && std::strcmp(type, "application/ipp") == 0) {
    qxapp::HideOthersJobs(client, code, type);
    qxapp::ShowHoldReasons(client);
    // The length PAPPL gave was the answer's before these changes.
    if (ipp_t* response = papplClientGetResponse(client)) length = ippLength(response);
  }
  return original(client, code, content_coding, type, last_modified, length);
}

__attribute__((visibility("default"))) ipp_t* papplClientRespondIPP(pappl_client_t* client,
                                                                    ipp_status_t status, const char* message,
                                                                    ...) {
  using Fn = ipp_t* (*)(pappl_client_t*, ipp_status_t, const char*, ...);
  static const Fn original = qxapp::Original<Fn>("papplClientRespondIPP");
  if (const std::string why = qxapp::StreamRefusalFor(client, status, message); !why.empty())
    return original(client, IPP_STATUS_ERROR_DOCUMENT_FORMAT_ERROR, "%s", why.c_str());
  if (!message) return original(client, status, nullptr);
  char text[2048];
  va_list args;
  va_start(args, message);
  std::vsnprintf(text, sizeof text, message, args);
  va_end(args);
  return original(client, status, "%s", text);
}

}  // extern "C"
