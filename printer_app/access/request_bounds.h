// What one client may send and hold:
// - a request read from a client of the server is checked as it arrives (ipp_scan.h) before the
//   IPP library parses it, and refused with an IPP status and a message when it breaks the
//   bounds, before any job exists;
// - the document a request carries is counted as PAPPL copies it; one larger than the limit, or
//   cut short (no data for the time-out, or the connection closed), fails the job with that
//   reason, never a job of half a document;
// - a web form's body is bounded likewise, and refused with 413;
// - every read of a connection times out, and one client holds a bounded number of connections
//   (client_connections.cpp).
#pragma once

#include <cups/http.h>
#include <pappl/pappl.h>

#include <cstdint>

#include "printer_app/access/ipp_scan.h"

namespace qxapp {

struct RequestLimits {
  IppBounds ipp;
  uint64_t maxDocumentBytes = uint64_t{64} << 20;
  // A request's headers, and each piece of its body, arrive within this; so does the first
  // request of a connection.
  int timeoutSeconds = 30;
  // Connections one client holds at once: an address, or a local account on this machine
  // (whose administrators are never refused).
  unsigned maxConnectionsPerClient = 64;
};

void SetRequestLimits(const RequestLimits& limits);
RequestLimits CurrentRequestLimits();

// A connection of the server served on PAPPL's connection thread (`papplRun`): its reads time
// out and its client holds a bounded number of connections.
void* ServeClient(pappl_client_t* client, void* (*papplRun)(pappl_client_t*));

// The server's connection `http` is served (its requests are checked) from now until
// StopServing(its client), as PAPPL deletes the client; a new request on it starts afresh.
void ServeConnection(http_t* http);
void StopServing(pappl_client_t* client);

// An IPP request read from `http` with `cupsIppRead` (libcups's ippRead), checked first on a
// served connection.
ipp_state_t ReadRequest(http_t* http, ipp_t* ipp, ipp_state_t (*cupsIppRead)(http_t*, ipp_t*));

// A read of a request's body with `cupsHttpRead` (libcups's httpRead2): a served connection's
// document or form is counted, and -1 ends one over its bound or cut short.
ssize_t ReadBody(http_t* http, char* buffer, size_t length, ssize_t (*cupsHttpRead)(http_t*, char*, size_t));

// A request processed by PAPPL (`papplProcess`), or refused as it was read; false ends the
// connection.
bool ProcessRequest(pappl_client_t* client, bool (*papplProcess)(pappl_client_t*));

// A web form read by PAPPL (`papplGetForm`); one over the bound is refused with 413 and has no
// fields.
int ReadForm(pappl_client_t* client, cups_option_t** form,
             int (*papplGetForm)(pappl_client_t*, cups_option_t**));

// After PAPPL copied a job's document: a document refused above ends its job with the reason,
// and the answer says it.
void ExplainRefusedDocument(pappl_client_t* client, pappl_job_t* job);

}  // namespace qxapp
