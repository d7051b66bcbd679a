// Where file:// devices may write: only inside the folders the administrator allowed. Checked
// when a printer is added (command line, IPP Create-Printer, the web interface's Add Printer
// form) and again, with links resolved, each time a job opens the device, which also covers
// printers restored from the saved state.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace qxapp {

// Whether a device URI may be used with these allowed folders: any scheme but file:// may; a
// file:// path only when, links resolved, it is an allowed folder or inside one. `why` gets the
// rule when it may not.
bool DeviceAllowed(const std::string& uri, const std::vector<std::string>& allowedFolders, std::string* why);

// The folders every device of this app is checked against from now on.
void SetAllowedFolders(std::vector<std::string> folders);

// Against the folders set: false with the rule in `why`.
bool DeviceAllowedHere(const std::string& uri, std::string* why);

// Whether the path, links resolved, is an allowed folder or inside one (the folders set).
bool PathAllowedHere(const std::string& path, std::string* why);

// papplPrinterCreate as the app has it (every printer PAPPL adds is made there): a new printer
// on a device outside the allowed folders is refused (errno EACCES), one restored kept.
pappl_printer_t* CreateAllowedPrinter(pappl_system_t* system, int printer_id, const char* printer_name,
                                      const char* driver_name, const char* device_id, const char* device_uri);

// IPP Create-Printer of a device outside the allowed folders: answered with the rule, true; false
// for any other request, which PAPPL goes on with (it would only answer the error number's text).
bool RefusedCreatePrinter(pappl_client_t* client);

// The rule in place of the error number's text the web Add Printer form shows for the printer
// this thread was last refused; nullptr for any other text.
const char* RefusalInPlaceOf(const char* text);

}  // namespace qxapp
