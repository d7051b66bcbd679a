// Where file:// devices may write: only inside the folders the administrator allowed. Checked
// when a printer is added (command line, IPP Create-Printer, the web interface's Add Printer
// form) and again, with links resolved, each time a job opens the device, which also covers
// printers restored from the saved state.
#pragma once

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

}  // namespace qxapp
