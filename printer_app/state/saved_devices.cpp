#include "printer_app/state/saved_devices.h"

#include <cups/cups.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qxapp {
namespace {

constexpr std::string_view kPrinterLine = "<Printer ";

// As PAPPL writes a line: name="value" pairs, a backslash before '\' and '"'.
std::string PrinterLine(int count, const cups_option_t* options) {
  std::string line = "<Printer";
  for (int i = 0; i < count; ++i) {
    line += ' ';
    line += options[i].name;
    line += "=\"";
    for (const char* c = options[i].value; *c; ++c) {
      if (*c == '\\' || *c == '"') line += '\\';
      line += *c;
    }
    line += '"';
  }
  return line + ">";
}

// The line with the new device when its printer is one of `printers` and has another.
bool ChangeLine(std::string& line, const std::vector<std::pair<std::string, std::string>>& printers,
                std::vector<DeviceChange>* changes) {
  if (line.compare(0, kPrinterLine.size(), kPrinterLine) != 0 || line.back() != '>') return false;
  const std::string values = line.substr(kPrinterLine.size(), line.size() - kPrinterLine.size() - 1);
  cups_option_t* options = nullptr;
  const int count = cupsParseOptions(values.c_str(), 0, &options);
  const char* name = cupsGetOption("name", count, options);
  const char* uri = cupsGetOption("uri", count, options);
  for (const auto& [printer, newUri] : printers) {
    if (!name || !uri || printer != name || newUri == uri) continue;
    changes->push_back({printer, uri, newUri});
    const int edited = cupsAddOption("uri", newUri.c_str(), count, &options);
    line = PrinterLine(edited, options);
    cupsFreeOptions(edited, options);
    return true;
  }
  cupsFreeOptions(count, options);
  return false;
}

}  // namespace

bool ChangeSavedDevices(const std::string& stateFile,
                        const std::vector<std::pair<std::string, std::string>>& printers,
                        std::vector<DeviceChange>* changes, std::string* error) {
  std::ifstream in(stateFile, std::ios::binary);
  if (!in) return true;
  std::ostringstream out;
  std::string line;
  bool changed = false;
  while (std::getline(in, line)) {
    changed = ChangeLine(line, printers, changes) || changed;
    out << line << '\n';
  }
  if (in.bad()) {
    *error = "cannot read " + stateFile + ": " + std::strerror(errno);
    return false;
  }
  if (!changed) return true;
  const std::string temp = stateFile + ".new";
  {
    std::ofstream file(temp, std::ios::binary | std::ios::trunc);
    file << out.str();
    if (!file.flush()) {
      *error = "cannot write " + temp;
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), stateFile.c_str()) != 0) {
    *error = "cannot replace " + stateFile + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

bool MoveSavedPrinters(const std::string& stateFile,
                       const std::vector<std::pair<std::string, std::string>>& printers) {
  std::vector<DeviceChange> changes;
  std::string error;
  if (!ChangeSavedDevices(stateFile, printers, &changes, &error)) {
    std::fprintf(stderr, "qxvn-printer-app: cannot change a saved printer's device: %s\n", error.c_str());
    return false;
  }
  for (const DeviceChange& change : changes)
    std::fprintf(stderr, "qxvn-printer-app: printer %s now prints to %s (was %s)\n", change.printer.c_str(),
                 change.to.c_str(), change.from.c_str());
  return true;
}

}  // namespace qxapp
