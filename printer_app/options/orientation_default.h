// The printer's orientation-requested-default. PAPPL 1.3.1's papplPrinterSetDriverDefaults
// copies every default but that one, so the Printing Defaults page and Set-Printer-Attributes
// answered "saved" and kept the old value. The app provides that function: PAPPL's own runs,
// then a changed orientation is set with the rest of the driver data (PAPPL saves and restores
// it with the state itself). A media-default chosen there becomes the loaded label too
// (printer_defaults.h).
#pragma once
