// Shared state of the host services stand-in (internal to the services library).
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "host/services/host_services.h"

namespace qxhost {

struct PrinterRecord {
  // Value names compare without regard to ASCII letter case, as the registry's do.
  std::map<std::u16string, PrinterValue> values;
  std::map<DWORD, JobRecord> jobs;
  Failures failures;
  CallCounts calls;
  std::vector<std::u16string> namesAsked;  // distinct, in the order first asked; a few dozen at most
};

struct HostState {
  std::recursive_mutex mutex;
  DebugSink debugSink;
  std::optional<SYSTEMTIME> fixedTime;
  std::map<HANDLE, PrinterRecord> printers;
  uintptr_t nextHandle = 0x1000;
  std::map<HPALETTE, ULONG> palettes;
  Failures failures;
  CallCounts calls;
};

HostState& State();
// The printer the calling thread renders for, if it names one that exists; the caller holds
// the state's lock.
PrinterRecord* RoutedPrinter(HostState& state);
// Failures of the process and of `printer` (may be null) together.
Failures FailuresFor(const HostState& state, const PrinterRecord* printer);
std::u16string FoldCase(std::u16string_view name);

}  // namespace qxhost
