#include "tests/support/trace_capture.h"

#include "host/services/host_services.h"

namespace qxtest {

namespace {
// "2025-01-02 03:04:05.006  " is 25 characters.
constexpr size_t kTimestampChars = 25;

std::string StripLineEnd(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}
}  // namespace

TraceCapture::TraceCapture() {
  qxhost::SetDebugSink([this](std::u16string_view line) { m_lines.push_back(qxhost::ToUtf8(line)); });
}

TraceCapture::~TraceCapture() { qxhost::SetDebugSink(nullptr); }

std::vector<std::string> TraceCapture::Messages() const {
  std::vector<std::string> out;
  for (const auto& line : m_lines)
    out.push_back(StripLineEnd(line.size() > kTimestampChars ? line.substr(kTimestampChars) : line));
  return out;
}

std::vector<std::string> TraceCapture::Texts() const {
  std::vector<std::string> out;
  for (const auto& m : Messages()) out.push_back(m.size() > 7 ? m.substr(7) : std::string());
  return out;
}

bool TraceCapture::Contains(const std::string& text) const { return Count(text) > 0; }

size_t TraceCapture::Count(const std::string& text) const {
  size_t n = 0;
  for (const auto& t : Texts())
    if (t == text) ++n;
  return n;
}

}  // namespace qxtest
