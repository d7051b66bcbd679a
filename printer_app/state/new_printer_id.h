// A printer made while the app runs announces the printer-id it gets (see new_printer_id.cpp).
#pragma once

#include <pappl/pappl.h>

namespace qxapp {

// PAPPL's own papplPrinterCreate, with the new printer's real printer-id in its attributes.
pappl_printer_t* CreatePrinterWithItsId(pappl_system_t* system, int printerId, const char* printerName,
                                        const char* driverName, const char* deviceId, const char* deviceUri);

// The value to add for an integer attribute `name`: the new printer's id for its printer-id 0.
int AnnouncedInteger(const char* name, int value);

}  // namespace qxapp
