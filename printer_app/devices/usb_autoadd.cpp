#include "printer_app/devices/usb_autoadd.h"

#include <pappl/pappl.h>
#include <strings.h>

#include <string>

#include "printer_app/label_driver/printer_model.h"

namespace qxapp {
namespace {

const char* IdValue(int count, cups_option_t* pairs, const char* shortKey, const char* longKey) {
  const char* value = cupsGetOption(shortKey, count, pairs);
  return value ? value : cupsGetOption(longKey, count, pairs);
}

bool SameText(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// CMD lists the command sets, separated by commas.
bool ListsCommandSet(const char* commandSets, const char* wanted) {
  const std::string list = commandSets ? commandSets : "";
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (SameText(Trimmed(list.substr(start, comma - start)), wanted)) return true;
    start = comma + 1;
  }
  return false;
}

}  // namespace

bool IsLabelPrinterId(const char* deviceId) {
  if (!deviceId || !*deviceId) return false;
  cups_option_t* pairs = nullptr;
  const int count = papplDeviceParseID(deviceId, &pairs);
  const char* maker = IdValue(count, pairs, "MFG", "MANUFACTURER");
  const char* model = IdValue(count, pairs, "MDL", "MODEL");
  const bool ours = maker && SameText(Trimmed(maker), "QXVN") &&
                    (ListsCommandSet(IdValue(count, pairs, "CMD", "COMMAND SET"), "QXVN") ||
                     (model && SameText(Trimmed(model), "Label Printer")));
  cupsFreeOptions(count, pairs);
  return ours;
}

const char* AutoAddDriver(const char*, const char*, const char* deviceId, void*) {
  return IsLabelPrinterId(deviceId) ? kDriverName : nullptr;
}

}  // namespace qxapp
