// PAPPL 1.3.1 reads a request with libcups' ippRead, which parses collections recursively with
// no bound (ten thousand nested media-col values overflow the thread's stack) and takes any
// number of attributes; it then copies the document with httpRead2 for as long as the client
// sends, and takes a body that times out or breaks off as a whole document. The reads below take
// their place for the server's connections.
#include "printer_app/access/request_bounds.h"

#include <cups/cups.h>
#include <pappl/pappl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "printer_app/access/job_privacy.h"
#include "printer_app/web/web_upload.h"

namespace qxapp {
namespace {

struct Refusal {
  ipp_status_t status;
  std::string message;
};

// The request a connection serves.
struct RequestState {
  bool counting = false;  // its document is being read
  uint64_t documentBytes = 0;
  ipp_status_t documentStatus = IPP_STATUS_OK;
  std::string documentFailure;
  std::optional<Refusal> refusal;
  pappl_client_t* formClient = nullptr;  // a web form's body is being read
  uint64_t formBytes = 0;
  bool formTooLarge = false;
};
// Each served connection's request, by its HTTP connection: libcups's reads are handed only that.
// Only the connection's own thread uses its entry (PAPPL serves each on one), and the entry ends
// as PAPPL deletes the client, before the connection can be reused. Never destroyed: connection
// threads may still end after main returns.
std::mutex g_servedLock;
std::unordered_map<const http_t*, RequestState>& Served() {
  static auto* served = new std::unordered_map<const http_t*, RequestState>;
  return *served;
}

// The request served on `http`; null for a connection the server does not serve.
RequestState* ServedOn(const http_t* http) {
  if (!http) return nullptr;
  std::lock_guard<std::mutex> hold(g_servedLock);
  auto found = Served().find(http);
  return found == Served().end() ? nullptr : &found->second;
}

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
  if (http) {
    std::lock_guard<std::mutex> hold(g_servedLock);
    Served()[http] = RequestState();
  }
  SetWebViewer(nullptr);
}

void StopServing(pappl_client_t* client) {
  const http_t* http = papplClientGetHTTP(client);
  std::lock_guard<std::mutex> hold(g_servedLock);
  Served().erase(http);
}

void ExplainRefusedDocument(pappl_client_t* client, pappl_job_t* job) {
  RequestState* served = ServedOn(papplClientGetHTTP(client));
  if (!served || served->documentFailure.empty()) return;
  RequestState& request = *served;
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

ipp_state_t ReadRequest(http_t* http, ipp_t* ipp, ipp_state_t (*cupsIppRead)(http_t*, ipp_t*)) {
  if (!ServedOn(http) || ippGetState(ipp) != IPP_STATE_IDLE) return cupsIppRead(http, ipp);

  ServeConnection(http);
  RequestState& request = *ServedOn(http);
  const RequestLimits limits = CurrentRequestLimits();
  std::string bytes;
  const IppScanResult scan = ScanIppMessage(
      [&](size_t n, std::string* out) { return ReadExactly(http, n, out); }, limits.ipp, &bytes);
  switch (scan.verdict) {
    case IppVerdict::kEnded:
      return IPP_STATE_ERROR;
    case IppVerdict::kTooLarge:
      request.refusal = Refusal{IPP_STATUS_ERROR_REQUEST_ENTITY, "Request too large: " + scan.why + "."};
      break;
    case IppVerdict::kMalformed:
      request.refusal = Refusal{IPP_STATUS_ERROR_BAD_REQUEST, "Bad request: " + scan.why + "."};
      break;
    case IppVerdict::kComplete: {
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
    KeepHeaderOnly(bytes, ipp);
    return IPP_STATE_DATA;
  }
  MemorySource source{&bytes, 0};
  const ipp_state_t state = ippReadIO(&source, ReadMemory, 1, nullptr, ipp);
  request.counting = state == IPP_STATE_DATA;
  return state;
}

ssize_t ReadBody(http_t* http, char* buffer, size_t length, ssize_t (*cupsHttpRead)(http_t*, char*, size_t)) {
  RequestState* served = ServedOn(http);
  if (served && served->formClient) {
    RequestState& request = *served;
    if (request.formTooLarge) return -1;
    const ssize_t read = cupsHttpRead(http, buffer, length);
    if (read > 0 && (request.formBytes += static_cast<uint64_t>(read)) > MostFormBytes()) {
      // Answered now: PAPPL closes the connection on a form it could not read.
      request.formTooLarge = true;
      RefuseForm(request.formClient, MostFormBytes());
      return -1;
    }
    return read;
  }
  if (!served || !served->counting) return cupsHttpRead(http, buffer, length);
  RequestState& request = *served;
  if (!request.documentFailure.empty()) return -1;
  const uint64_t limit = qxapp::DocumentLimit(http);
  const ssize_t read = cupsHttpRead(http, buffer, length);
  if (read > 0) {
    request.documentBytes += static_cast<uint64_t>(read);
    if (request.documentBytes <= limit) return read;
    request.documentStatus = IPP_STATUS_ERROR_REQUEST_ENTITY;
    request.documentFailure = "The document is larger than " + Mib(limit) + ", the most this printer takes.";
    return -1;
  }
  if (read == 0 && (httpError(http) != 0 || httpGetState(http) == HTTP_STATE_POST_RECV)) {
    request.documentStatus = IPP_STATUS_ERROR_BAD_REQUEST;
    request.documentFailure = httpError(http) == ETIMEDOUT || httpError(http) == 0
                                  ? "The document was cut short: no data came for " +
                                        std::to_string(CurrentRequestLimits().timeoutSeconds) + " seconds."
                                  : "The document was cut short: the connection closed.";
    return -1;
  }
  return read;
}

bool ProcessRequest(pappl_client_t* client, bool (*papplProcess)(pappl_client_t*)) {
  RequestState* served = ServedOn(papplClientGetHTTP(client));
  if (!served) return papplProcess(client);
  RequestState& request = *served;
  if (request.refusal) {
    const Refusal refusal = *std::exchange(request.refusal, std::nullopt);
    Refuse(client, refusal);
    return false;
  }
  const bool keepOpen = papplProcess(client);
  request.counting = false;
  if (request.documentFailure.empty()) return keepOpen;
  // The rest of a refused document is not read: the connection ends.
  EndConnection(papplClientGetHTTP(client));
  return false;
}

// A web form's body is read whole into memory (or, for a file, the spool): one over the bound is
// refused with 413 before any of it is used.
int ReadForm(pappl_client_t* client, cups_option_t** form,
             int (*papplGetForm)(pappl_client_t*, cups_option_t**)) {
  http_t* http = papplClientGetHTTP(client);
  RequestState* served = ServedOn(http);
  if (papplClientGetMethod(client) != HTTP_STATE_POST || !served) return papplGetForm(client, form);
  RequestState& request = *served;
  const uint64_t limit = MostFormBytes();
  const off_t length = httpGetLength2(http);
  *form = nullptr;
  if (length > 0 && static_cast<uint64_t>(length) > limit) {
    RefuseForm(client, limit);
    return 0;
  }
  request.formClient = client;
  request.formBytes = 0;
  request.formTooLarge = false;
  const int count = papplGetForm(client, form);
  request.formClient = nullptr;
  if (!request.formTooLarge) return count;
  cupsFreeOptions(count, *form);
  *form = nullptr;
  return 0;
}

}  // namespace qxapp
