// Sends the plug-in's trace lines where the user asked: all of them to a file with --trace,
// all of them to standard error with -v, and otherwise only errors and warnings to standard
// error. Shares standard error with the progress line, which it clears before writing.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace qxvn {

class TraceRouter {
 public:
  // Throws ToolError when the trace file cannot be created.
  TraceRouter(const std::string& traceFile, bool verbose);
  TraceRouter(const TraceRouter&) = delete;
  TraceRouter& operator=(const TraceRouter&) = delete;
  ~TraceRouter();

  void Line(std::u16string_view line);
  // "page n of N" on a terminal only; rewritten in place.
  void Progress(unsigned page, unsigned pages);
  void EndProgress();
  // The first failure to write the trace file, empty when none.
  const std::string& FileFailure() const { return m_fileFailure; }
  // Closes the trace file; a failure shows in FileFailure().
  void Close();

 private:
  void ClearProgress();

  std::string m_path;
  FILE* m_file = nullptr;
  std::string m_fileFailure;
  bool m_verbose;
  bool m_progressShown = false;
  bool m_terminal;
};

}  // namespace qxvn
