// `--printer NAME=URI` for a printer the state file already holds: its device changes there,
// before PAPPL reads the file, so that the printer keeps its id, settings and jobs. PAPPL 1.3
// has no call that changes a printer's device once it is made.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qxapp {

struct DeviceChange {
  std::string printer;
  std::string from;
  std::string to;
};

// Rewrites the printer lines of `stateFile` (written beside, then renamed) whose printer is
// named in `printers` with another URI. A missing file changes nothing. Returns false with
// `error` set when the file cannot be read or written; it is then left as it was.
bool ChangeSavedDevices(const std::string& stateFile,
                        const std::vector<std::pair<std::string, std::string>>& printers,
                        std::vector<DeviceChange>* changes, std::string* error);

// The same for the app's start: says on standard error which printer moved where, or why the
// state file could not be changed (false: the app stops).
bool MoveSavedPrinters(const std::string& stateFile,
                       const std::vector<std::pair<std::string, std::string>>& printers);

}  // namespace qxapp
