// Who sees whose jobs: a job's name and its owner's name (labels are named after their
// addressees) are shown only to the job's owner and to administrators, as IPP's
// job-privacy-attributes "default" and job-privacy-scope "owner" describe. Everyone else still
// sees the job's id, state and pages. PAPPL 1.3.1 shows them to anyone who can reach it: in
// Get-Jobs, Get-Job-Attributes, the job events of Get-Notifications and the printer's web pages.
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// The client whose web page the calling thread draws (job names are hidden from it unless it
// owns the job or administers); null when none. Each IPP request and connection end clears it.
void SetWebViewer(pappl_client_t* client);

// The job attributes hidden from others, and the printer attributes that say so.
bool IsPrivateJobAttribute(const char* name);
void DescribeJobPrivacy(ipp_t* printerAttributes);

}  // namespace qxapp
