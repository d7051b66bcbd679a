// The printer's orientation-requested-default. PAPPL 1.3.1's papplPrinterSetDriverDefaults
// copies every default but that one, so the Printing Defaults page and Set-Printer-Attributes
// answered "saved" and kept the old value. After PAPPL's own, a changed orientation is set with
// the rest of the driver data (PAPPL saves and restores it with the state itself). A
// media-default chosen there becomes the loaded label too (printer_defaults.h).
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// What papplPrinterSetDriverDefaults leaves out of `data` once it has set the rest.
void CompleteDriverDefaults(pappl_printer_t* printer, const pappl_pr_driver_data_t* data);

}  // namespace qxapp
