#include "printer_app/label_driver/document_spool.h"

#include <pappl/pappl.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "printer_app/access/request_bounds.h"

namespace qxapp {

bool IsNoSpaceAnswer(std::string_view statusMessage) {
  constexpr std::string_view kPrefix = "Unable to write print file: ";
  if (statusMessage.substr(0, kPrefix.size()) != kPrefix) return false;
  const std::string_view reason = statusMessage.substr(kPrefix.size());
  return reason == std::strerror(ENOSPC) || reason == std::strerror(EDQUOT) ||
         reason == std::strerror(EFBIG) || reason == std::strerror(0);
}

void ExplainSpoolFailure(pappl_client_t* client, pappl_job_t* job) {
  ExplainRefusedDocument(client, job);  // too large or cut short (request_bounds.h)
  ipp_t* response = papplClientGetResponse(client);
  if (!response || ippGetStatusCode(response) != IPP_STATUS_ERROR_INTERNAL) return;
  ipp_attribute_t* message = ippFindAttribute(response, "status-message", IPP_TAG_TEXT);
  const char* text = message ? ippGetString(message, 0, nullptr) : nullptr;
  if (!text || !IsNoSpaceAnswer(text)) return;
  papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "The spool is full: %s.", text);
  ippSetStatusCode(response, IPP_STATUS_ERROR_TEMPORARY);
  ippSetString(response, &message, 0, kNoSpaceMessage);
}

}  // namespace qxapp
