#include "host/services/host_state.h"

namespace qxhost {

namespace {
thread_local HANDLE t_printer = nullptr;
}

HostState& State() {
  static HostState state;
  return state;
}

std::u16string FoldCase(std::u16string_view name) {
  std::u16string folded(name);
  for (auto& c : folded)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return folded;
}

PrinterRecord* RoutedPrinter(HostState& state) {
  if (!t_printer) return nullptr;
  auto it = state.printers.find(t_printer);
  return it == state.printers.end() ? nullptr : &it->second;
}

Failures FailuresFor(const HostState& state, const PrinterRecord* printer) {
  Failures f = state.failures;
  if (printer) {
    f.getJobNoSize = f.getJobNoSize || printer->failures.getJobNoSize;
    f.getJobFillFails = f.getJobFillFails || printer->failures.getJobFillFails;
    f.createPaletteFails = f.createPaletteFails || printer->failures.createPaletteFails;
  }
  return f;
}

Failures& HostFailures() { return State().failures; }
CallCounts& HostCalls() { return State().calls; }

void SetPrinterFailures(HANDLE printer, const Failures& failures) {
  std::lock_guard lock(State().mutex);
  auto it = State().printers.find(printer);
  if (it != State().printers.end()) it->second.failures = failures;
}

CallCounts PrinterCalls(HANDLE printer) {
  std::lock_guard lock(State().mutex);
  auto it = State().printers.find(printer);
  return it == State().printers.end() ? CallCounts{} : it->second.calls;
}

std::vector<std::u16string> PrinterValueNamesAsked(HANDLE printer) {
  std::lock_guard lock(State().mutex);
  auto it = State().printers.find(printer);
  return it == State().printers.end() ? std::vector<std::u16string>{} : it->second.namesAsked;
}

HANDLE ExchangeThreadPrinter(HANDLE printer) {
  HANDLE before = t_printer;
  t_printer = printer;
  return before;
}

void ResetHost() {
  HostState& s = State();
  std::lock_guard lock(s.mutex);
  s.debugSink = nullptr;
  s.fixedTime.reset();
  s.printers.clear();
  s.palettes.clear();
  s.failures = Failures{};
  s.calls = CallCounts{};
  t_printer = nullptr;
  ExchangeThreadDebugSink(nullptr);
}

}  // namespace qxhost
