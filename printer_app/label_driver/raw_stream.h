// A document in the printer's own command stream (application/vnd.qxvn-label), as `qxvn print`
// writes it: read whole by the same reader as `qxvn dump` before any byte goes to the printer.
// A malformed stream is refused at submission (Print-Job and Send-Document answer
// client-error-document-format-error with the reason) and its job ends aborted unsent.
#pragma once

#include <pappl/pappl.h>

#include <memory>
#include <string>

#include "common/io/mapped_file.h"

namespace qxapp {

// The stream in `path` when it is whole and well-formed, with at least one page; otherwise
// null and `*why` says what is wrong and at which byte.
std::unique_ptr<qxvn::MappedFile> ReadRawStream(const std::string& path, std::string* why);

// PAPPL's MIME callback: a document that starts as a stream does (a page's first package) is
// one, whatever its name, so that `submit` of a `qxvn print` output prints it.
const char* SniffRawStream(const unsigned char* header, size_t size, void* data);

// Checks a raw stream as its job's document is spooled; a refusal is answered to the client.
void CheckSubmittedStream(pappl_job_t* job, const char* filename);

// The refusal a document request's success answer (`status` OK with no `message`) becomes when
// its raw stream was refused; empty when none. The job itself ends aborted with the same reason
// when its turn comes, sending nothing.
std::string StreamRefusalFor(pappl_client_t* client, ipp_status_t status, const char* message);

}  // namespace qxapp
