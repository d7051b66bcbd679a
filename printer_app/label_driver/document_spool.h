// A document the spool has no room for is a temporary failure, said as such: PAPPL 1.3.1 answers
// it as an internal error, "Unable to write print file: Success" when a write was cut short.
// A held job's PWG or Apple raster document, which PAPPL would print as it arrives, is spooled
// too (document_spool.cpp), to print from its file once released.
#pragma once

#include <pappl/pappl.h>

#include <string_view>

namespace qxapp {

// The answer to a document that could not be written to the spool, as the client is told it.
constexpr const char* kNoSpaceMessage = "no space for the document";

// Whether PAPPL's answer to a document it could not write means the spool's file system is
// full (no space left, the quota reached, or a write that wrote less and gave no reason).
bool IsNoSpaceAnswer(std::string_view statusMessage);

// After PAPPL copied the document of a Print-Job or Send-Document to the spool, before its
// answer is sent: a document refused as it was read, or one the spool had no room for, is
// answered as such.
void ExplainSpoolFailure(pappl_client_t* client, pappl_job_t* job);

// Before PAPPL copies a document: a held job's PWG or Apple raster document is spooled here and
// answered (true); any other is left to PAPPL (false).
bool SpoolHeldRaster(pappl_client_t* client, pappl_job_t* job);

}  // namespace qxapp
