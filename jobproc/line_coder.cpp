// Line run coder: folds blank lines and identical lines into runs, and sends a run when it ends.
#include <cstring>

#include "jobproc/dot_count.h"
#include "jobproc/job_proc.h"
#include "stream/commands.h"

namespace {

// Lines one package stands for at most: the count travels as lines minus one in a short number.
constexpr DWORD MAX_RUN_PACKAGE_LINES = SHORT_NUMBER_MAX + 1u;

}  // namespace

BOOL CJobProc::DataLine(const BYTE* bytes, DWORD count, DWORD lines) {
  const DWORD n = count < MAX_LINE_BYTES ? count : MAX_LINE_BYTES;
  DWORD lead = 0;
  if (bytes)
    while (lead < n && bytes[lead] == 0) ++lead;
  else
    lead = n;
  if (lead == n) return BlankLines(lines);

  DWORD last = n - 1;
  while (bytes[last] == 0) --last;
  const DWORD span = last - lead + 1;

  switch (m_byState) {
    case PAGE_STARTED:
      break;
    case PAGE_BLANK_RUN:
      if (!FlushBlankRun(m_nRunLines)) return LoseLine();
      break;
    case PAGE_PRINT_RUN:
      if (lead == m_nRunOffset && span == m_nRunBytes &&
          std::memcmp(bytes + lead, m_abyRunLine + lead, span) == 0) {
        m_nRunLines += lines;
        m_nTotalLines += lines;
        return TRUE;
      }
      if (!FlushPrintRun(m_nRunLines)) return LoseLine();
      break;
    default:
      return FALSE;
  }

  m_byState = PAGE_PRINT_RUN;
  m_nRunLines = lines;
  std::memset(m_abyRunLine, 0, sizeof m_abyRunLine);
  std::memcpy(m_abyRunLine + lead, bytes + lead, span);
  m_nRunOffset = lead;
  m_nRunBytes = span;
  m_nRunDots = CountDots(bytes + lead, span);
  m_nTotalLines += lines;
  return TRUE;
}

BOOL CJobProc::BlankLines(DWORD lines) {
  switch (m_byState) {
    case PAGE_STARTED:
      m_byState = PAGE_BLANK_RUN;
      m_nRunLines = lines;
      break;
    case PAGE_BLANK_RUN:
      m_nRunLines += lines;
      break;
    case PAGE_PRINT_RUN:
      if (!FlushPrintRun(m_nRunLines)) return LoseLine();
      m_byState = PAGE_BLANK_RUN;
      m_nRunLines = lines;
      break;
    default:
      return FALSE;
  }
  std::memset(m_abyRunLine, 0, sizeof m_abyRunLine);
  m_nRunOffset = MAX_LINE_BYTES;
  m_nRunBytes = 0;
  m_nRunDots = 0;
  m_nTotalLines += lines;
  return TRUE;
}

// A flush either sends the whole run and books it, or leaves the list and the statistics as
// they were, so that the page's end can try it again without doubling lines or counts.
BOOL CJobProc::FlushBlankRun(DWORD lines) {
  const CPackageList::EndMark before = m_Packages.End();
  for (DWORD left = lines; left != 0;) {
    const DWORD now = left < MAX_RUN_PACKAGE_LINES ? left : MAX_RUN_PACKAGE_LINES;
    if (!PushFeedLines(static_cast<WORD>(now - 1))) {
      m_Packages.RollBack(before);
      return FALSE;
    }
    left -= now;
  }
  UpdateDotStats(0, lines);
  if (m_nMaxLine < lines) m_nMaxLine = lines;
  m_nSumLines += lines;
  if (m_nSumPrints == 0) m_nLeadLines += lines;
  m_nTailLines = lines;
  return TRUE;
}

BOOL CJobProc::FlushPrintRun(DWORD lines) {
  // A blank run line (offset 72, no bytes) sends nothing of its own; keep the pointer in range.
  const DWORD offset = m_nRunOffset < MAX_LINE_BYTES ? m_nRunOffset : 0;
  const BYTE* data = m_abyRunLine + offset;
  const CPackageList::EndMark before = m_Packages.End();
  for (DWORD left = lines; left != 0;) {
    const DWORD now = left < MAX_RUN_PACKAGE_LINES ? left : MAX_RUN_PACKAGE_LINES;
    if (!PushPrintLines(m_nRunOffset, data, m_nRunBytes, static_cast<WORD>(now - 1))) {
      m_Packages.RollBack(before);
      return FALSE;
    }
    left -= now;
  }
  UpdateDotStats(m_nRunDots, lines);
  if (m_nMaxPrint < lines) m_nMaxPrint = lines;
  m_nSumPrints += lines;
  m_nTailLines = 0;
  return TRUE;
}

BOOL CJobProc::LoseLine() {
  m_bPageDamaged = TRUE;
  return FALSE;
}
