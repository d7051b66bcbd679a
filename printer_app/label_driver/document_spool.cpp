#include "printer_app/label_driver/document_spool.h"

#include <pappl/pappl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/io/write_all.h"
#include "printer_app/access/request_bounds.h"
#include "printer_app/label_driver/raster_file.h"

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

// PAPPL's hand-over of a spooled document to its job (it sets the job's file, and queues the job
// unless it is held): exported by the library, declared in none of its headers.
void _papplJobSubmitFile(pappl_job_t* job, const char* filename);

}  // extern "C"

namespace qxapp {
namespace {

using qxvn::WriteAll;

// PAPPL prints a PWG or Apple raster document as it arrives, even a held job's (job-hold-until
// is not looked at): such a document is spooled here instead, as PAPPL spools any other, and
// prints from its file once the job is released (raster_file.h). True when it was (the answer
// made), false for any other document.
}  // namespace

bool SpoolHeldRaster(pappl_client_t* client, pappl_job_t* job) {
  if (!IsRasterFormat(papplJobGetFormat(job)) || papplJobGetState(job) != IPP_JSTATE_HELD) return false;
  http_t* http = papplClientGetHTTP(client);
  char filename[1024];
  const int fd = papplJobOpenFile(job, filename, sizeof filename, nullptr, nullptr, "w");
  bool written = fd >= 0;
  int error = errno;
  ssize_t bytes = 0;
  char buffer[16384];
  while (written && (bytes = httpRead2(http, buffer, sizeof buffer)) > 0) {
    written = WriteAll(fd, buffer, static_cast<size_t>(bytes));
    error = errno;
  }
  if (fd >= 0 && close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written || bytes < 0) {
    if (fd >= 0) unlink(filename);
    while (httpGetState(http) == HTTP_STATE_POST_RECV && httpRead2(http, buffer, sizeof buffer) > 0) {
    }
    if (written)
      papplClientRespondIPP(client, IPP_STATUS_ERROR_INTERNAL, "Unable to read print file.");
    else
      papplClientRespondIPP(client, IPP_STATUS_ERROR_INTERNAL, "Unable to write print file: %s",
                            std::strerror(error));
    papplJobCancel(job);
    return true;
  }
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Kept the raster document of the held job in \"%s\".", filename);
  _papplJobSubmitFile(job, filename);
  // The answer PAPPL gives a document it spooled.
  papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
  ipp_t* response = papplClientGetResponse(client);
  ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", papplJobGetID(job));
  if (ipp_attribute_t* uri = papplJobGetAttribute(job, "job-uri"))
    ippAddString(response, IPP_TAG_JOB, IPP_TAG_URI, "job-uri", nullptr, ippGetString(uri, 0, nullptr));
  ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", papplJobGetState(job));
  ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", nullptr,
               papplJobGetState(job) == IPP_JSTATE_HELD ? "job-hold-until-specified" : "none");
  return true;
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
