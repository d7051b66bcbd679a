// What one client may send and hold. The app provides, in the libraries' place (their own
// calls reach these):
// - ippRead: a request read from a client of the server is checked as it arrives
//   (ipp_scan.h) before the IPP library parses it, and refused with an IPP status and a message
//   when it breaks the bounds, before any job exists;
// - httpRead2: the document a request carries is counted as PAPPL copies it; one larger than the
//   limit, or cut short (no data for the time-out, or the connection closed), fails the job with
//   that reason, never a job of half a document;
// - _papplClientRun (client_connections.cpp): every read of a connection times out, and one
//   client holds a bounded number of connections.
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

// The connection the calling thread serves (its requests are checked); null for none.
void ServeConnection(http_t* http);

// After PAPPL copied a job's document (_papplJobCopyDocumentData, document_spool.cpp): a document
// refused above ends its job with the reason, and the answer says it.
void ExplainRefusedDocument(pappl_client_t* client, pappl_job_t* job);

}  // namespace qxapp
