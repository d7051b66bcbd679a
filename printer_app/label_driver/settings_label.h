// The test label PAPPL prints for "Print Test Page": the label's size with a border at its
// edges, the settings in force, a Code 128 barcode and a gray ramp, drawn as a PDF of the
// label's size so that it goes through the same page reader and plug-in as any job.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>
#include <string>

#include "printer_app/options/setting_map.h"

namespace qxapp {

// The label for these settings, as a PDF file's bytes.
std::string DrawTestLabel(const JobChoices& choices);

// PAPPL's test-page callback: writes the printer's test label to a temporary file (removed with
// the job) and returns its name in `buffer`; nullptr when it cannot be written.
const char* WriteTestLabel(pappl_printer_t* printer, char* buffer, size_t size);

}  // namespace qxapp
