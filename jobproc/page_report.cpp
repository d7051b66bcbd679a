// The twenty-line statistics report traced at the end of every page.
#include "jobproc/job_proc.h"
#include "trace/trace.h"

void CJobProc::TracePageReport() {
  const WCHAR* const rule = WSTR("========================");
  const DWORD bitmapBytes = m_nTotalLines * ((static_cast<DWORD>(m_nPageWidth) + 7) >> 3);
  const DWORD printBytes = m_Packages.UsedBytes();

  TraceMessage(TRACE_INF, TRUE, rule);
  TraceMessage(TRACE_INF, TRUE, WSTR("    PageWidth   : %6d"), m_nPageWidth);
  TraceMessage(TRACE_INF, TRUE, WSTR("    PageHeight  : %6d"), m_nPageHeight);
  TraceMessage(TRACE_INF, TRUE, WSTR("    TotalLines  : %6d"), m_nTotalLines);
  TraceMessage(TRACE_INF, TRUE, WSTR("    MaxSfDots   : %6d"), m_nMaxSfDots);
  TraceMessage(TRACE_INF, TRUE, WSTR("    MaxLEDots   : %6d"), m_nMaxLEDots);
  TraceMessage(TRACE_INF, TRUE, WSTR("    MinSfDots   : %6d"), m_nMinSfDots);
  TraceMessage(TRACE_INF, TRUE, WSTR("    TotalDots   : %6d"), m_nTotalDots);
  TraceMessage(TRACE_INF, TRUE, WSTR("    LeadLines   : %6d"), m_nLeadLines);
  TraceMessage(TRACE_INF, TRUE, WSTR("    TailLines   : %6d"), m_nTailLines);
  TraceMessage(TRACE_INF, TRUE, WSTR("    MaxLine     : %6d"), m_nMaxLine);
  TraceMessage(TRACE_INF, TRUE, WSTR("    MaxPrint    : %6d"), m_nMaxPrint);
  TraceMessage(TRACE_INF, TRUE, WSTR("    SumLines    : %6d"), m_nSumLines);
  TraceMessage(TRACE_INF, TRUE, WSTR("    SumPrints   : %6d"), m_nSumPrints);
  TraceMessage(TRACE_INF, TRUE, rule);
  TraceMessage(TRACE_INF, TRUE, WSTR("    BitmapBytes : %6d"), bitmapBytes);
  TraceMessage(TRACE_INF, TRUE, WSTR("    PrintBytes  : %6d"), printBytes);
  TraceMessage(TRACE_INF, TRUE, WSTR("    SavedBytes  : %6d"), bitmapBytes - printBytes);
  if (static_cast<INT>(bitmapBytes) != 0) {
    double ratio = static_cast<double>(static_cast<INT>(printBytes)) * 10000.0 /
                   static_cast<double>(static_cast<INT>(bitmapBytes));
    // Clamp before converting: a ratio beyond the 32-bit range would be undefined to convert.
    if (ratio > 2147483647.0) ratio = 2147483647.0;
    if (ratio < -2147483648.0) ratio = -2147483648.0;
    const INT hundredths = static_cast<INT>(ratio);
    TraceMessage(TRACE_INF, TRUE, WSTR("    Percent     : %2d.%02d%%"), hundredths / 100, hundredths % 100);
  } else {
    // No bitmap (no lines, or no line width): a ratio would be meaningless.
    TraceMessage(TRACE_INF, TRUE, WSTR("    Percent     :    n/a"));
  }
  TraceMessage(TRACE_INF, TRUE, rule);
}
