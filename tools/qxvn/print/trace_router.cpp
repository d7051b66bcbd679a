#include "tools/qxvn/print/trace_router.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/io/utf.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

// The level tag follows the timestamp: "2025-01-02 03:04:05.006  [ERR]  ...".
bool IsErrorOrWarning(std::string_view line) {
  std::string_view head = line.substr(0, 40);
  return head.find("  [ERR]  ") != std::string_view::npos || head.find("  [WRN]  ") != std::string_view::npos;
}

}  // namespace

TraceRouter::TraceRouter(const std::string& traceFile, bool verbose)
    : m_path(traceFile), m_verbose(verbose), m_terminal(isatty(STDERR_FILENO) == 1) {
  if (traceFile.empty()) return;
  m_file = std::fopen(traceFile.c_str(), "wb");
  if (!m_file) throw ToolError("cannot write the trace file " + traceFile + ": " + std::strerror(errno));
}

TraceRouter::~TraceRouter() {
  EndProgress();
  if (m_file) std::fclose(m_file);
}

void TraceRouter::Line(std::u16string_view line) {
  std::string text = Utf16ToUtf8(line);
  if (m_file && m_fileFailure.empty() && std::fwrite(text.data(), 1, text.size(), m_file) != text.size())
    m_fileFailure = "writing the trace file " + m_path + " failed: " + std::strerror(errno);
  if (m_verbose || (!m_file && IsErrorOrWarning(text))) {
    ClearProgress();
    // On a terminal the trace's CR LF line end is only LF.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

void TraceRouter::Progress(unsigned page, unsigned pages) {
  if (!m_terminal || pages < 2) return;
  std::fprintf(stderr, "\rpage %u of %u", page, pages);
  std::fflush(stderr);
  m_progressShown = true;
}

void TraceRouter::ClearProgress() {
  if (!m_progressShown) return;
  std::fputs("\r\033[K", stderr);
  m_progressShown = false;
}

void TraceRouter::EndProgress() { ClearProgress(); }

void TraceRouter::Close() {
  if (!m_file) return;
  if (std::fclose(m_file) != 0 && m_fileFailure.empty())
    m_fileFailure = "writing the trace file " + m_path + " failed: " + std::strerror(errno);
  m_file = nullptr;
}

}  // namespace qxvn
