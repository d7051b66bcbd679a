// Collects the trace lines written while it lives (as UTF-8, timestamp prefix included).
#pragma once

#include <string>
#include <vector>

namespace qxtest {

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Whole lines as written, line ends included.
  const std::vector<std::string>& Lines() const { return m_lines; }
  // Lines without the timestamp prefix and without the line end: "[INF]  text".
  std::vector<std::string> Messages() const;
  // Message texts alone, without the level tag.
  std::vector<std::string> Texts() const;
  bool Contains(const std::string& text) const;
  size_t Count(const std::string& text) const;
  void Clear() { m_lines.clear(); }

 private:
  std::vector<std::string> m_lines;
};

}  // namespace qxtest
