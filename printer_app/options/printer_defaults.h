// What a printer's jobs get when they ask for nothing: its defaults as PAPPL keeps them.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <string_view>

#include "printer_app/options/setting_map.h"

namespace qxapp {

// The xxx-default of a vendor attribute in a printer's driver attributes
// (papplPrinterGetDriverAttributes), as text; empty when it has none.
std::string VendorDefault(ipp_t* driverAttrs, std::string_view name);

// Every setting of a job that sends no attributes of its own.
JobChoices DefaultChoices(pappl_printer_t* printer);

// Brings defaults saved by an older version within what the driver offers now: media margins
// no smaller than the driver's (saved labels had none).
void FitSavedDefaults(pappl_printer_t* printer);

// The loaded label (media-ready, the web interface's Media page) is the one documents are laid out
// for: the printer's media-default follows it, margins and tracking included. PAPPL 1.3.1 keeps
// them apart, so clients went on laying documents out for the old default. Called after each
// change of the loaded media (papplPrinterSetReadyMedia).
void FollowLoadedLabel(pappl_printer_t* printer);
// The other way: a media-default chosen (the Printing Defaults page, Set-Printer-Attributes) is
// the label loaded. Called after PAPPL's papplPrinterSetDriverDefaults.
void LoadDefaultLabel(pappl_printer_t* printer);

}  // namespace qxapp
