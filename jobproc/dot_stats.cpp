// Dot statistics of a page, fed once per flushed run.
#include "jobproc/job_proc.h"

void CJobProc::UpdateDotStats(DWORD dots, DWORD lines) {
  if (m_nMaxSfDots < dots)
    m_nMaxSfDots = dots;
  else if (dots != 0 && (m_nMinSfDots == 0 || m_nMinSfDots > dots))
    m_nMinSfDots = dots;

  m_nTotalDots += dots * lines;

  if (lines >= DOT_RING_LINES) {
    // The whole window holds this run: no need to step through it line by line.
    for (DWORD& entry : m_anDotRing) entry = dots;
    m_nDotRingSum = dots * DOT_RING_LINES;
    if (m_nMaxLEDots < dots) m_nMaxLEDots = dots;
    return;
  }

  m_nDotRingSum += dots * lines;
  for (DWORD i = 0; i < lines; ++i) {
    m_nDotRingSum -= m_anDotRing[m_nDotRingIndex];
    m_anDotRing[m_nDotRingIndex] = dots;
    if (++m_nDotRingIndex == DOT_RING_LINES) m_nDotRingIndex = 0;
  }
  // Only the window at the end of the run counts.
  DWORD average = m_nDotRingSum / DOT_RING_LINES;
  if (m_nMaxLEDots < average) m_nMaxLEDots = average;
}
