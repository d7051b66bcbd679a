// Checks the driver package's printer description (GPD) and installation file (INF) for the
// faults that would make the universal printer driver refuse the printer, or let it write
// into the plug-in's command stream: unbalanced braces or quotes, options named but missing,
// wrong colour modes or resolution, paper wider than the head, files named but not shipped.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qxdriver {

// The package's files by name (letter case as on disk) and their contents. One problem a line;
// none means the package is sound.
std::vector<std::string> CheckDriverPackage(const std::map<std::string, std::string>& files);

// Reads every file of a folder into the map that CheckDriverPackage takes.
std::map<std::string, std::string> ReadFolder(const std::string& folder);

}  // namespace qxdriver
