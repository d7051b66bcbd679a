#include "common/wire/warning_report.h"

#include <cstdio>

namespace qxvn::wire {

std::string OffsetText(size_t offset) { return "offset " + std::to_string(offset); }

void WarningReport::Add(unsigned page, const Diagnostic& warning) {
  if (page != m_page) {
    Close();
    m_page = page;
  }
  if (++m_onPage <= kShownPerPage) {
    std::fflush(stdout);
    std::fprintf(stderr, "qxvn: warning: %s: %s: %s\n", m_streamName.c_str(),
                 OffsetText(warning.offset).c_str(), warning.message.c_str());
  }
}

void WarningReport::Close() {
  if (m_onPage > kShownPerPage) {
    std::fflush(stdout);
    std::fprintf(stderr, "qxvn: warning: %s: %zu more warnings on page %u\n", m_streamName.c_str(),
                 m_onPage - kShownPerPage, m_page);
  }
  m_onPage = 0;
}

}  // namespace qxvn::wire
