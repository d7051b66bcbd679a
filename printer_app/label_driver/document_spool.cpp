#include "printer_app/document_spool.h"

#include <pappl/pappl.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "printer_app/access/request_bounds.h"
#include "printer_app/pappl_layer/original_symbol.h"

namespace qxapp {

bool IsNoSpaceAnswer(std::string_view statusMessage) {
  constexpr std::string_view kPrefix = "Unable to write print file: ";
  if (statusMessage.substr(0, kPrefix.size()) != kPrefix) return false;
  const std::string_view reason = statusMessage.substr(kPrefix.size());
  return reason == std::strerror(ENOSPC) || reason == std::strerror(EDQUOT) ||
         reason == std::strerror(EFBIG) || reason == std::strerror(0);
}

}  // namespace qxapp

extern "C" {

// The document of a Print-Job or Send-Document copied to the spool; PAPPL's answer has not been
// sent yet when this returns, so a full spool's is made a temporary error with its reason.
__attribute__((visibility("default"))) void _papplJobCopyDocumentData(pappl_client_t* client,
                                                                      pappl_job_t* job) {
  using Fn = void (*)(pappl_client_t*, pappl_job_t*);
  static const Fn original = qxapp::Original<Fn>("_papplJobCopyDocumentData");
  original(client, job);
  qxapp::ExplainRefusedDocument(client, job);  // too large or cut short (request_bounds.h)
  ipp_t* response = papplClientGetResponse(client);
  if (!response || ippGetStatusCode(response) != IPP_STATUS_ERROR_INTERNAL) return;
  ipp_attribute_t* message = ippFindAttribute(response, "status-message", IPP_TAG_TEXT);
  const char* text = message ? ippGetString(message, 0, nullptr) : nullptr;
  if (!text || !qxapp::IsNoSpaceAnswer(text)) return;
  papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "The spool is full: %s.", text);
  ippSetStatusCode(response, IPP_STATUS_ERROR_TEMPORARY);
  ippSetString(response, &message, 0, qxapp::kNoSpaceMessage);
}

}  // extern "C"
