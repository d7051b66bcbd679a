// PAPPL 1.3.1 reads a request with libcups' ippRead, which parses collections recursively with
// no bound (ten thousand nested media-col values overflow the thread's stack) and takes any
// number of attributes; it then copies the document with httpRead2 for as long as the client
// sends, and takes a body that times out or breaks off as a whole document. Both are called
// through the libraries' symbol tables, so the app's versions below run in their place.
#include "printer_app/access/request_bounds.h"

#include <cups/cups.h>
#include <pappl/pappl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "printer_app/access/job_privacy.h"
#include "printer_app/pappl_layer/original_symbol.h"
#include "printer_app/web/web_upload.h"

namespace qxapp {
namespace {

struct Refusal {
  ipp_status_t status;
  std::string message;
};

// The request the calling thread serves.
struct RequestState {
  http_t* http = nullptr;
  bool counting = false;  // its document is being read
  uint64_t documentBytes = 0;
  ipp_status_t documentStatus = IPP_STATUS_OK;
  std::string documentFailure;
  std::optional<Refusal> refusal;
  pappl_client_t* formClient = nullptr;  // a web form's body is being read
  uint64_t formBytes = 0;
  bool formTooLarge = false;
};
thread_local RequestState t_request;

bool ReadExactly(http_t* http, size_t n, std::string* bytes) {
  const size_t start = bytes->size();
  bytes->resize(start + n);
  size_t got = 0;
  while (got < n) {
    const ssize_t read = httpRead2(http, bytes->data() + start + got, n - got);
    if (read <= 0) {
      bytes->resize(start + got);
      return false;
    }
    got += static_cast<size_t>(read);
  }
  return true;
}

struct MemorySource {
  const std::string* bytes;
  size_t at;
};

ssize_t ReadMemory(void* context, ipp_uchar_t* buffer, size_t n) {
  auto* source = static_cast<MemorySource*>(context);
  n = std::min(n, source->bytes->size() - source->at);
  std::memcpy(buffer, source->bytes->data() + source->at, n);
  source->at += n;
  return static_cast<ssize_t>(n);
}

std::string Mib(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// The most a request's document may hold. One sent by a web page (the request has an Origin
// field, which browsers send with every POST and IPP clients do not) is the Print a Label page's
// upload, bounded as that page says whatever the browser's own check did.
bool FromWebPage(http_t* http) {
  const char* origin = httpGetField(http, HTTP_FIELD_ORIGIN);
  return origin && *origin;
}

uint64_t DocumentLimit(http_t* http) {
  const uint64_t limit = CurrentRequestLimits().maxDocumentBytes;
  return FromWebPage(http) ? std::min<uint64_t>(limit, kMaxUploadBytes) : limit;
}

// A refused request keeps its header only, so that the answer names its operation and id.
void KeepHeaderOnly(const std::string& bytes, ipp_t* ipp) {
  const auto byte = [&](size_t at) { return at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0u; };
  ippSetVersion(ipp, byte(0) ? byte(0) : 2, byte(1));
  ippSetOperation(ipp, static_cast<ipp_op_t>(byte(2) << 8 | byte(3)));
  const int id = static_cast<int>(byte(4) << 24 | byte(5) << 16 | byte(6) << 8 | byte(7));
  ippSetRequestId(ipp, id > 0 ? id : 1);
  ippSetState(ipp, IPP_STATE_DATA);
}

// Reads (and drops) what the client still sends, within bounds, after the answer: closing on
// unread data would reset the connection and could lose the answer on its way.
void EndConnection(http_t* http) {
  httpFlushWrite(http);
  shutdown(httpGetFd(http), SHUT_WR);
  char buffer[16384];
  for (size_t dropped = 0; dropped < (size_t{4} << 20);) {
    const ssize_t read = httpRead2(http, buffer, sizeof buffer);
    if (read <= 0) break;
    dropped += static_cast<size_t>(read);
  }
}

// A browser reads no answer before it has sent the whole body: a web page's refused request is
// read to its end first, when its length is within what the app takes at all.
void ReadWebPageBody(http_t* http) {
  const off_t length = httpGetLength2(http);
  if (!FromWebPage(http) || length <= 0 ||
      static_cast<uint64_t>(length) > CurrentRequestLimits().maxDocumentBytes + (uint64_t{1} << 20))
    return;
  char buffer[16384];
  while (httpRead2(http, buffer, sizeof buffer) > 0) {
  }
}

void Refuse(pappl_client_t* client, const Refusal& refusal) {
  http_t* http = papplClientGetHTTP(client);
  ReadWebPageBody(http);
  papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "%s refused: %s",
                 ippOpString(ippGetOperation(papplClientGetRequest(client))), refusal.message.c_str());
  ipp_t* response = ippNewResponse(papplClientGetRequest(client));
  ippSetStatusCode(response, refusal.status);
  ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_TEXT, "status-message", nullptr, refusal.message.c_str());
  httpClearFields(http);
  httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
  httpSetField(http, HTTP_FIELD_CONNECTION, "close");
  httpSetLength(http, ippLength(response));
  if (httpWriteResponse(http, HTTP_STATUS_OK) == 0) {
    ipp_state_t state;
    while ((state = ippWrite(http, response)) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
    }
  }
  ippDelete(response);
  EndConnection(http);
}

// A web form carries at most a document (an uploaded file) and its fields.
uint64_t MostFormBytes() { return CurrentRequestLimits().maxDocumentBytes + (uint64_t{64} << 10); }

void RefuseForm(pappl_client_t* client, uint64_t limit) {
  http_t* http = papplClientGetHTTP(client);
  const std::string message = "The form is larger than " + Mib(limit) + ", the most this printer takes.";
  papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "POST %s refused: %s", papplClientGetURI(client),
                 message.c_str());
  httpClearFields(http);
  httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "text/plain; charset=utf-8");
  httpSetField(http, HTTP_FIELD_CONNECTION, "close");
  httpSetLength(http, message.size());
  if (httpWriteResponse(http, HTTP_STATUS_REQUEST_TOO_LARGE) == 0)
    httpWrite2(http, message.data(), message.size());
  // The page PAPPL then makes for a form without fields goes nowhere. What the client still sends
  // is dropped from the socket itself: the refused body is no longer read as HTTP.
  httpFlushWrite(http);
  const int fd = httpGetFd(http);
  shutdown(fd, SHUT_WR);
  char buffer[16384];
  pollfd wait{fd, POLLIN, 0};
  for (size_t dropped = 0; dropped < (size_t{4} << 20) && poll(&wait, 1, 2000) > 0;) {
    const ssize_t read = recv(fd, buffer, sizeof buffer, 0);
    if (read <= 0) break;
    dropped += static_cast<size_t>(read);
  }
}

}  // namespace

void ServeConnection(http_t* http) {
  t_request = RequestState();
  t_request.http = http;
  SetWebViewer(nullptr);
}

void ExplainRefusedDocument(pappl_client_t* client, pappl_job_t* job) {
  RequestState& request = t_request;
  if (request.documentFailure.empty()) return;
  papplJobSetMessage(job, "%s", request.documentFailure.c_str());
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", request.documentFailure.c_str());
  ipp_t* response = papplClientGetResponse(client);
  ippSetStatusCode(response, request.documentStatus);
  if (ipp_attribute_t* message = ippFindAttribute(response, "status-message", IPP_TAG_TEXT))
    ippSetString(response, &message, 0, request.documentFailure.c_str());
  else
    ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_TEXT, "status-message", nullptr,
                 request.documentFailure.c_str());
}

}  // namespace qxapp

extern "C" {

__attribute__((visibility("default"))) ipp_state_t ippRead(http_t* http, ipp_t* ipp) {
  using Fn = ipp_state_t (*)(http_t*, ipp_t*);
  static const Fn original = qxapp::Original<Fn>("ippRead");
  qxapp::RequestState& request = qxapp::t_request;
  if (!http || http != request.http || ippGetState(ipp) != IPP_STATE_IDLE) return original(http, ipp);

  qxapp::ServeConnection(http);
  const qxapp::RequestLimits limits = qxapp::CurrentRequestLimits();
  std::string bytes;
  const qxapp::IppScanResult scan = qxapp::ScanIppMessage(
      [&](size_t n, std::string* out) { return qxapp::ReadExactly(http, n, out); }, limits.ipp, &bytes);
  switch (scan.verdict) {
    case qxapp::IppVerdict::kEnded:
      return IPP_STATE_ERROR;
    case qxapp::IppVerdict::kTooLarge:
      request.refusal =
          qxapp::Refusal{IPP_STATUS_ERROR_REQUEST_ENTITY, "Request too large: " + scan.why + "."};
      break;
    case qxapp::IppVerdict::kMalformed:
      request.refusal = qxapp::Refusal{IPP_STATUS_ERROR_BAD_REQUEST, "Bad request: " + scan.why + "."};
      break;
    case qxapp::IppVerdict::kComplete: {
      const off_t length = httpGetLength2(http);
      const uint64_t most = qxapp::DocumentLimit(http);
      if (length > 0 && static_cast<uint64_t>(length) > bytes.size() + most)
        request.refusal = qxapp::Refusal{
            IPP_STATUS_ERROR_REQUEST_ENTITY,
            "The document is larger than " + qxapp::Mib(most) + ", the most this printer takes."};
      break;
    }
  }
  if (request.refusal) {
    qxapp::KeepHeaderOnly(bytes, ipp);
    return IPP_STATE_DATA;
  }
  qxapp::MemorySource source{&bytes, 0};
  const ipp_state_t state = ippReadIO(&source, qxapp::ReadMemory, 1, nullptr, ipp);
  request.counting = state == IPP_STATE_DATA;
  return state;
}

__attribute__((visibility("default"))) ssize_t httpRead2(http_t* http, char* buffer, size_t length) {
  using Fn = ssize_t (*)(http_t*, char*, size_t);
  static const Fn original = qxapp::Original<Fn>("httpRead2");
  qxapp::RequestState& request = qxapp::t_request;
  if (http && http == request.http && request.formClient) {
    if (request.formTooLarge) return -1;
    const ssize_t read = original(http, buffer, length);
    if (read > 0 && (request.formBytes += static_cast<uint64_t>(read)) > qxapp::MostFormBytes()) {
      // Answered now: PAPPL closes the connection on a form it could not read.
      request.formTooLarge = true;
      qxapp::RefuseForm(request.formClient, qxapp::MostFormBytes());
      return -1;
    }
    return read;
  }
  if (!http || http != request.http || !request.counting) return original(http, buffer, length);
  if (!request.documentFailure.empty()) return -1;
  const uint64_t limit = qxapp::DocumentLimit(http);
  const ssize_t read = original(http, buffer, length);
  if (read > 0) {
    request.documentBytes += static_cast<uint64_t>(read);
    if (request.documentBytes <= limit) return read;
    request.documentStatus = IPP_STATUS_ERROR_REQUEST_ENTITY;
    request.documentFailure =
        "The document is larger than " + qxapp::Mib(limit) + ", the most this printer takes.";
    return -1;
  }
  if (read == 0 && (httpError(http) != 0 || httpGetState(http) == HTTP_STATE_POST_RECV)) {
    request.documentStatus = IPP_STATUS_ERROR_BAD_REQUEST;
    request.documentFailure = httpError(http) == ETIMEDOUT || httpError(http) == 0
                                  ? "The document was cut short: no data came for " +
                                        std::to_string(qxapp::CurrentRequestLimits().timeoutSeconds) +
                                        " seconds."
                                  : "The document was cut short: the connection closed.";
    return -1;
  }
  return read;
}

__attribute__((visibility("default"))) bool _papplClientProcessIPP(pappl_client_t* client) {
  using Fn = bool (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("_papplClientProcessIPP");
  qxapp::RequestState& request = qxapp::t_request;
  if (request.refusal) {
    const qxapp::Refusal refusal = *std::exchange(request.refusal, std::nullopt);
    qxapp::Refuse(client, refusal);
    return false;
  }
  const bool keepOpen = original(client);
  request.counting = false;
  if (request.documentFailure.empty()) return keepOpen;
  // The rest of a refused document is not read: the connection ends.
  qxapp::EndConnection(papplClientGetHTTP(client));
  return false;
}

// A web form's body is read whole into memory (or, for a file, the spool): one over the bound is
// refused with 413 before any of it is used.
__attribute__((visibility("default"))) int papplClientGetForm(pappl_client_t* client, cups_option_t** form) {
  using Fn = int (*)(pappl_client_t*, cups_option_t**);
  static const Fn original = qxapp::Original<Fn>("papplClientGetForm");
  qxapp::RequestState& request = qxapp::t_request;
  http_t* http = papplClientGetHTTP(client);
  if (papplClientGetMethod(client) != HTTP_STATE_POST || !http || http != request.http)
    return original(client, form);
  const uint64_t limit = qxapp::MostFormBytes();
  const off_t length = httpGetLength2(http);
  *form = nullptr;
  if (length > 0 && static_cast<uint64_t>(length) > limit) {
    qxapp::RefuseForm(client, limit);
    return 0;
  }
  request.formClient = client;
  request.formBytes = 0;
  request.formTooLarge = false;
  const int count = original(client, form);
  request.formClient = nullptr;
  if (!request.formTooLarge) return count;
  cupsFreeOptions(count, *form);
  *form = nullptr;
  return 0;
}

}  // extern "C"
