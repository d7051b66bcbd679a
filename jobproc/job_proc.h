// The job processor: follows one device context's jobs page by page, from raster bands to
// coded runs, and decides what is written to the spooler and when.
#pragma once

#include "platform/printoem.h"
#include "settings/label_settings.h"
#include "stream/package_list.h"

// Page states (m_byState).
enum : BYTE {
  PAGE_IDLE = 0,
  PAGE_IGNORED = 1,
  PAGE_STARTED = 2,
  PAGE_BLANK_RUN = 3,
  PAGE_PRINT_RUN = 4,
};

// Bytes of a printed line the printer takes: 576 dots.
constexpr DWORD MAX_LINE_BYTES = 72;
constexpr LONG MAX_LINE_DOTS = 576;
// Lines over which the dot average is taken.
constexpr DWORD DOT_RING_LINES = 35;
// Trailing blank lines kept at the end of a page of standard paper size (about 8 mm).
constexpr DWORD MAX_TRAILING_BLANK_LINES = 94;
constexpr BYTE DEFAULT_GRAY_THRESHOLD = static_cast<BYTE>(*qxlabel::Named("GrayThreshold").whenAbsent);

// Reads one printer-data value; true only for a REG_DWORD of at most 4 bytes.
BOOL read_printer_dword(HANDLE hPrinter, LPCWSTR name, DWORD* value);

// A label setting's name as the spooler is asked for it (WCHAR is 16-bit on every platform).
inline LPCWSTR PrinterKey(const qxlabel::Setting& setting) {
  static_assert(sizeof(WCHAR) == sizeof(char16_t));
  return reinterpret_cast<LPCWSTR>(setting.key.data());
}

class CJobProc {
 public:
  CJobProc();
  CJobProc(const CJobProc&) = delete;
  CJobProc& operator=(const CJobProc&) = delete;

  // Virtual operations, in their slot order.
  virtual ~CJobProc();
  virtual BOOL StartJob(PDEVOBJ pdevobj, const JOB_INFO_2W* job);
  virtual BOOL StartPage(PDEVOBJ pdevobj, DWORD page);
  virtual BOOL EndJob(PDEVOBJ pdevobj);
  virtual BOOL EndPage(PDEVOBJ pdevobj, DWORD page);
  virtual BOOL AbortJob(PDEVOBJ pdevobj);
  virtual BOOL BlankLines(DWORD lines);
  virtual BOOL DataLine(const BYTE* bytes, DWORD count, DWORD lines);
  virtual BOOL FlushBlankRun(DWORD lines);
  virtual BOOL FlushPrintRun(DWORD lines);
  virtual void UpdateDotStats(DWORD dots, DWORD lines);
  virtual BOOL PushJobStart(PDEVOBJ pdevobj, const JOB_INFO_2W* job);
  virtual BOOL PushPageStart(PDEVOBJ pdevobj, LONG width, LONG height);
  virtual BOOL PushFeedLines(WORD count);
  virtual BOOL PushPrintLines(DWORD offset, const BYTE* bytes, DWORD byteCount, WORD repeat);
  virtual BOOL PushPageEnd(PDEVOBJ pdevobj);
  virtual BOOL PushJobAbort(PDEVOBJ pdevobj);
  virtual BOOL PushJobEnd(PDEVOBJ pdevobj);
  virtual BOOL WritePageData(PDEVOBJ pdevobj);
  virtual BOOL IsPageIgnored(DWORD page);
  virtual void Reset();
  virtual BOOL WriteToSpool(PDEVOBJ pdevobj, const CPackageList& list);

  // Band rasteriser: one band of 24- or 32-bit pixels into raster lines.
  BOOL ImageProcessing(PDEVOBJ pdevobj, const BYTE* pSrcBitmap, const BITMAPINFOHEADER* pBitmapInfoHeader,
                       const BYTE* pColorTable, DWORD dwCallbackID, const IPPARAMS* pIPParams);

  // Fields are public: the plug-in's hooks read the job id, page and state, and tests inspect
  // the rest, as the device state's owner would in a debugger.
  DWORD m_dwJobId = 0;
  DWORD m_dwPage = 0;
  DWORD m_wTotalPages = 0;
  LONG m_nPaperWidth = 0;
  LONG m_nPaperLength = 0;
  BOOL m_bCustomJob = FALSE;
  WORD m_wCopies = 0;
  WORD m_wCollate = 0;
  BYTE m_byGrayThreshold = DEFAULT_GRAY_THRESHOLD;
  BYTE m_byState = PAGE_IDLE;
  BYTE m_abyRunLine[MAX_LINE_BYTES] = {};
  DWORD m_nRunOffset = 0;
  DWORD m_nRunBytes = 0;
  DWORD m_nRunDots = 0;
  DWORD m_nRunLines = 0;
  LONG m_nPageWidth = 0;
  LONG m_nPageHeight = 0;
  BOOL m_bCustomPage = FALSE;
  DWORD m_nTotalLines = 0;
  DWORD m_nRotation = 0;
  DWORD m_nLabelWidth = 0;
  DWORD m_nLabelHeight = 0;
  DWORD m_nHorAlignment = 0;
  DWORD m_nVerAlignment = 0;
  DWORD m_nOffsetX = 0;
  DWORD m_nOffsetY = 0;
  DWORD m_nMaxLine = 0;
  DWORD m_nSumLines = 0;
  DWORD m_nLeadLines = 0;
  DWORD m_nTailLines = 0;
  DWORD m_nMaxPrint = 0;
  DWORD m_nSumPrints = 0;
  DWORD m_anDotRing[DOT_RING_LINES] = {};
  DWORD m_nDotRingSum = 0;
  DWORD m_nDotRingIndex = 0;
  DWORD m_nMaxSfDots = 0;
  DWORD m_nMaxLEDots = 0;
  DWORD m_nMinSfDots = 0;
  DWORD m_nTotalDots = 0;
  CPackageList m_Packages;
  // A line of the open page could not be coded: the page is incomplete and is not written.
  BOOL m_bPageDamaged = FALSE;
  // A page was closed without being written whole, and its failure is still to be reported
  // (the band loop's page end has no caller to tell).
  BOOL m_bPageLost = FALSE;
  // A spool write came up short: the stream of this job is cut, so nothing more is written.
  BOOL m_bSpoolFailed = FALSE;

  // Whether a page was lost since the last call; reporting it clears it.
  BOOL TakePageLost() {
    const BOOL lost = m_bPageLost;
    m_bPageLost = FALSE;
    return lost;
  }

 private:
  void TracePageReport();
  // Closes the open page without writing it: its packages go, the loss is kept for reporting.
  BOOL DropPage(DWORD page, const WCHAR* reason);
  // A line that could not be coded: marks the page damaged and fails.
  BOOL LoseLine();
};

// Page open: a started page, with or without a pending run.
inline bool IsPageOpen(BYTE state) { return state >= PAGE_STARTED; }
