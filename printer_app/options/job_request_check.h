// The checks a job request passes before PAPPL makes the job, so that what a client asks for is
// either done or refused at once with the reason, never dropped:
// - the document's format is told by its content when it was sent as application/octet-stream
//   or as a format its bytes contradict, and a document of no format the printer prints is
//   refused (client-error-document-format-not-supported);
// - a media name in any of the forms media_names.h takes is made the label it names, and one
//   that names no label the printer takes is refused;
// - the vendor settings, and the standard choices PAPPL 1.3.1 would silently drop (colour mode,
//   quality, orientation, content, copies handling, banner sheets, hold), are checked against
//   what the printer offers: a value out of it is refused with the accepted ones named
//   (client-error-attributes-or-values-not-supported, the attribute in the unsupported group).
// PAPPL runs its own document checks first for Print-Job, Validate-Job, Create-Job and
// Send-Document; these come after PAPPL's (CheckJobRequest). Set-Printer-Attributes (and
// Create-Printer's attributes) is checked likewise before PAPPL sets anything
// (CheckPrinterDefaults): PAPPL 1.3.1 takes any value of a vendor default, in range or not; a
// vendor default out of its range or keywords, or a colour mode not offered, is refused and
// nothing is set.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

// The job template checks of a request; false (with the response's status and message set)
// when a value is refused.
bool CheckJobTemplate(pappl_client_t* client);

// A job or document request, after PAPPL's own checks passed: its document's format and its job
// template. False, answered, when refused.
bool CheckJobRequest(pappl_client_t* client);

// The printer defaults a Set-Printer-Attributes or Create-Printer request sets. False, answered,
// when one is refused.
bool CheckPrinterDefaults(pappl_client_t* client);

}  // namespace qxapp
