// Who sees whose jobs: a job's name and its owner's name (labels are named after their
// addressees) are shown only to the job's owner and to administrators, as IPP's
// job-privacy-attributes "default" and job-privacy-scope "owner" describe. Everyone else still
// sees the job's id, state and pages. PAPPL 1.3.1 shows them to anyone who can reach it: in
// Get-Jobs, Get-Job-Attributes, the job events of Get-Notifications and the printer's web pages.
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// The client whose web page the calling thread draws (job names are hidden from it unless it
// owns the job or administers), from the page's header to its footer; null when none. Each IPP
// request and connection end clears it.
void SetWebViewer(pappl_client_t* client);

// A job's name or owner (`value`) as the page's viewer sees it: itself, or "(hidden)" when the
// viewer neither owns the job (`owner`) nor administers.
const char* ShownToViewer(const char* value, const char* owner);

// Takes other users' job names and owners out of an IPP answer about jobs (Get-Jobs,
// Get-Job-Attributes, Get-Notifications) before it is sent, unless the client administers.
void HideOthersJobs(pappl_client_t* client, http_status_t code, const char* contentType);

// The job attributes hidden from others, and the printer attributes that say so.
bool IsPrivateJobAttribute(const char* name);
void DescribeJobPrivacy(ipp_t* printerAttributes);

}  // namespace qxapp
