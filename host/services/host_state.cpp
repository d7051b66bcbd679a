#include "host/services/host_state.h"

namespace qxhost {

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

Failures& HostFailures() { return State().failures; }
CallCounts& HostCalls() { return State().calls; }

void ResetHost() {
  HostState& s = State();
  std::lock_guard lock(s.mutex);
  s.debugSink = nullptr;
  s.fixedTime.reset();
  s.printers.clear();
  s.palettes.clear();
  s.failures = Failures{};
  s.calls = CallCounts{};
}

}  // namespace qxhost
