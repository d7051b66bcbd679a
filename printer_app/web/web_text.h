// What the web interface says beyond PAPPL's own pages: the vendor settings by name and unit,
// the version in every page's footer, only the choices that change a label, and a supplies
// page that says the roll's level is not known instead of drawing an empty gauge.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

extern const char* const kAppVersion;

// Strings, footer and firmware version of the system; before any page is served.
void AddWebText(pappl_system_t* system);

// The printer's supplies page, in place of PAPPL's: called when the printer is made, before
// PAPPL adds its own pages (a path already taken keeps its first page).
void AddSuppliesPage(pappl_printer_t* printer);

// Says on standard error where the web interface is, as the app starts serving.
void AnnounceUrl(pappl_system_t* system, bool network, int port, const std::string& stateDir);

}  // namespace qxapp
