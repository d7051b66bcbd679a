// Job and page lifecycle of the job processor, and the writes to the spooler.
#include "jobproc/job_proc.h"
#include "jobproc/paper.h"
#include "stream/packages.h"
#include "trace/trace.h"

CJobProc::CJobProc() { Reset(); }

CJobProc::~CJobProc() {
  Reset();
  m_Packages.Empty();
}

BOOL CJobProc::StartJob(PDEVOBJ pdevobj, const JOB_INFO_2W* job) {
  if (!job || !job->pDevMode) return FALSE;
  const DEVMODEW& dm = *job->pDevMode;
  m_wTotalPages = job->TotalPages;
  m_nPaperWidth = PaperTenthsToDots(dm.dmPaperWidth);
  m_nPaperLength = PaperTenthsToDots(dm.dmPaperLength);
  m_bCustomJob = m_bCustomPage = IsCustomPaper(dm);
  // A negative count is no request for tens of thousands of labels: it counts as one, like 0.
  m_wCopies = dm.dmCopies > 0 ? static_cast<WORD>(dm.dmCopies) : 0;
  m_wCollate = static_cast<WORD>(dm.dmCollate);
  if (m_wCopies == 0) m_wCopies = 1;
  if (m_wTotalPages == 0) {
    TraceMessage(TRACE_WRN, TRUE, WSTR("CJobProc::StartJob() m_wTotalPages <= 0 !"));
    return FALSE;
  }
  m_byState = PAGE_IDLE;
  if (!PushJobStart(pdevobj, job)) return FALSE;
  BOOL written = WriteToSpool(pdevobj, m_Packages);
  m_Packages.Empty();
  return written;
}

BOOL CJobProc::StartPage(PDEVOBJ pdevobj, DWORD page) {
  if (IsPageIgnored(page)) {
    m_byState = PAGE_IGNORED;
    TraceMessage(TRACE_INF, TRUE, WSTR("CJobProc::StartPage(%d) ignored."), page);
    return TRUE;
  }
  m_byState = PAGE_STARTED;
  m_bPageDamaged = FALSE;
  m_nRunOffset = m_nRunBytes = m_nRunDots = 0;
  m_nTotalLines = 0;
  // Without a page device mode the trace shows zeros; the rasteriser falls back to the job's.
  const DEVMODEW* dm = pdevobj ? pdevobj->pPublicDM : nullptr;
  TraceMessage(TRACE_INF, TRUE, WSTR("CJobProc::StartPage(%d, %C)(%08X, %d, %d*%d) normal."), page,
               m_bCustomPage ? 'C' : 'F', dm ? dm->dmFields : 0, dm ? dm->dmPaperSize : 0,
               dm ? dm->dmPaperWidth : 0, dm ? dm->dmPaperLength : 0);
  m_nMaxLine = m_nSumLines = m_nLeadLines = m_nTailLines = 0;
  m_nMaxPrint = m_nSumPrints = 0;
  for (DWORD& dots : m_anDotRing) dots = 0;
  m_nDotRingSum = m_nDotRingIndex = 0;
  m_nMaxSfDots = m_nMaxLEDots = m_nMinSfDots = m_nTotalDots = 0;
  return TRUE;
}

BOOL CJobProc::EndPage(PDEVOBJ pdevobj, DWORD page) {
  if (!IsPageOpen(m_byState)) {
    m_byState = PAGE_IDLE;
    return TRUE;
  }
  TraceMessage(TRACE_INF, TRUE, WSTR("CJobProc::EndPage(%d) normal."), page);
  BOOL flushed = TRUE;
  if (m_byState == PAGE_BLANK_RUN) {
    // A page of standard size ends with at most 94 blank lines; a custom one keeps them all.
    const DWORD cut =
        !m_bCustomPage && m_nRunLines > MAX_TRAILING_BLANK_LINES ? m_nRunLines - MAX_TRAILING_BLANK_LINES : 0;
    flushed = FlushBlankRun(m_nRunLines - cut);
    // Only a run that was sent loses its lines from the count; a failed page keeps its count.
    if (flushed) m_nTotalLines -= cut;
  } else if (m_byState == PAGE_PRINT_RUN) {
    flushed = FlushPrintRun(m_nRunLines);
  }
  // A failed flush has taken nothing: the page stays open and its next end tries again.
  if (!flushed) return FALSE;
  // The printer gets a page whole or not at all: never lines without their header and trailer,
  // nor lines left behind to be sent under another page's header.
  if (m_bPageDamaged) return DropPage(page, WSTR("a line could not be coded"));
  m_byState = PAGE_IDLE;
  if (!PushPageEnd(pdevobj)) return DropPage(page, WSTR("its header or trailer could not be built"));
  TracePageReport();
  BOOL written = WritePageData(pdevobj);
  m_Packages.Empty();
  if (!written) m_bPageLost = TRUE;
  return written;
}

BOOL CJobProc::DropPage(DWORD page, const WCHAR* reason) {
  TraceMessage(TRACE_ERR, TRUE, WSTR("CJobProc::EndPage(%d) dropped: %s!"), page, reason);
  m_byState = PAGE_IDLE;
  m_bPageDamaged = FALSE;
  m_bPageLost = TRUE;
  m_Packages.Empty();
  return FALSE;
}

BOOL CJobProc::EndJob(PDEVOBJ pdevobj) {
  // A page still open here could not be closed: its packages are unframed and are not sent.
  if (IsPageOpen(m_byState)) DropPage(m_dwPage, WSTR("it could not be closed before the end of the job"));
  if (!PushJobEnd(pdevobj)) return FALSE;
  return WriteToSpool(pdevobj, m_Packages);
}

BOOL CJobProc::AbortJob(PDEVOBJ pdevobj) {
  m_Packages.Empty();
  m_bPageDamaged = FALSE;
  if (!PushJobAbort(pdevobj)) return FALSE;
  return WriteToSpool(pdevobj, m_Packages);
}

BOOL CJobProc::WritePageData(PDEVOBJ pdevobj) {
  // A collated job of several pages is written once per page: collation is the print
  // processor's business, not ours.
  DWORD copies = (m_wCopies > 1 && (m_wTotalPages <= 1 || m_wCollate == 0)) ? m_wCopies : 1;
  TraceMessage(TRACE_INF, TRUE, WSTR("CJobProc::WritePageData(%d) Copies: %d Bytes: %d"), m_dwPage, copies,
               m_Packages.UsedBytes());
  for (DWORD i = 0; i < copies; ++i)
    if (!WriteToSpool(pdevobj, m_Packages)) return FALSE;
  return TRUE;
}

BOOL CJobProc::WriteToSpool(PDEVOBJ pdevobj, const CPackageList& list) {
  // After a short write the printer's stream is cut; what follows would print after a torn page.
  if (m_bSpoolFailed && !list.IsEmpty()) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("CJobProc::WriteToSpool(%d) refused after a failed write!"),
                 list.UsedBytes());
    return FALSE;
  }
  for (const PackageChunk* chunk = list.Head(); chunk; chunk = chunk->next) {
    DWORD written = 0;
    if (pdevobj && pdevobj->pDrvProcs && pdevobj->pDrvProcs->DrvWriteSpoolBuf)
      written = pdevobj->pDrvProcs->DrvWriteSpoolBuf(pdevobj, const_cast<BYTE*>(chunk->data), chunk->used);
    if (written != chunk->used) {
      TraceMessage(TRACE_ERR, TRUE, WSTR("CJobProc::WriteToSpool(%d) failed!"), chunk->used);
      m_bSpoolFailed = TRUE;
      return FALSE;
    }
  }
  return TRUE;
}

BOOL CJobProc::PushPageStart(PDEVOBJ /*pdevobj*/, LONG width, LONG height) {
  TraceMessage(TRACE_INF, TRUE,
               WSTR("CJobProc::PushPageStart(%d) PageWidth: %d, PageHeight: %d, CustomPage: %C"), m_dwPage,
               width, height, m_bCustomPage ? 'C' : 'F');
  return TRUE;
}

BOOL CJobProc::PushJobEnd(PDEVOBJ /*pdevobj*/) {
  TraceMessage(TRACE_INF, TRUE, WSTR("CJobProc::PushJobEnd(%d)"), m_dwJobId);
  return TRUE;
}

BOOL CJobProc::PushJobAbort(PDEVOBJ /*pdevobj*/) {
  TraceMessage(TRACE_INF, TRUE, WSTR("CJobProc::PushJobAbort(%d)"), m_dwJobId);
  return TRUE;
}

BOOL CJobProc::PushFeedLines(WORD count) { return PushNumber(m_Packages, CMD_FEED_LINES, count); }

BOOL CJobProc::PushPrintLines(DWORD offset, const BYTE* bytes, DWORD byteCount, WORD repeat) {
  return PushPrintLinesPackage(m_Packages, static_cast<WORD>(offset), bytes, byteCount, repeat);
}

BOOL CJobProc::IsPageIgnored(DWORD /*page*/) { return FALSE; }

void CJobProc::Reset() {
  m_dwJobId = 0;
  m_dwPage = 0;
  m_byState = PAGE_IDLE;
  m_bPageDamaged = m_bPageLost = m_bSpoolFailed = FALSE;
  m_nTotalLines = 0;
  m_nRotation = 0;
  m_nLabelWidth = m_nLabelHeight = 0;
  m_nHorAlignment = m_nVerAlignment = 0;
  m_nOffsetX = m_nOffsetY = 0;
  m_Packages.Empty();
}
