// Each job's page in the web interface: its attributes in words and every label it prints as
// a picture decoded from its stream (job_labels.h), one dot a pixel with a zoom; Release and
// Cancel for a held job. The printer's job lists get a small picture of each job's first label.
//
// Paths (the system's, with the job in the query):
//   /qxvn/job?id=N[&zoom=Z]      the job's page (POST: action=release|cancel, with the form token)
//   /qxvn/label.png?job=N&label=K the label's picture, the PNG `qxvn decode` writes for that page
//   /qxvn/labels?job=N[&fresh=1] how many labels, on the first line; why there are none on the second
//   /qxvn/document?job=N          the job's document as it was sent
// Every one is shown to the job's owner and the administrators alone, and is sent with
// Cache-Control: no-store.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

void AddJobPages(pappl_system_t* system);

// The script that adds the pictures and the links to PAPPL's job tables, for the page footer.
extern const char* const kJobListScript;

}  // namespace qxapp
