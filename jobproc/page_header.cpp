// Page header and trailer, framed around the page's packages at the end of the page.
#include "jobproc/job_proc.h"
#include "stream/packages.h"
#include "trace/trace.h"

namespace {

// Builds the header packages into `header`; false when a package cannot be written.
BOOL BuildHeader(CPackageList& header, HANDLE printer, LONG pageWidth, DWORD maxSfDots, DWORD maxLEDots) {
  if (!PushPackage(header, CMD_PAGE_BEGIN, nullptr, 0)) return FALSE;
  if (pageWidth != 0 && !PushNumber(header, CMD_LINE_BYTES, static_cast<WORD>((pageWidth + 7) >> 3)))
    return FALSE;

  BYTE limits[4];
  DWORD length = EncodeShortNumber(static_cast<WORD>(maxSfDots), limits);
  length += EncodeShortNumber(static_cast<WORD>(maxLEDots), limits + length);
  if (!PushPackage(header, CMD_DOT_LIMITS, limits, length)) return FALSE;

  // Each value read anew, sent as stored when the table's range holds it, else left out.
  constexpr const qxlabel::Setting& darkness = qxlabel::Named("PrintDarkness");
  constexpr const qxlabel::Setting& speed = qxlabel::Named("PrintSpeed");
  constexpr const qxlabel::Setting& gapType = qxlabel::Named("GapType");
  constexpr const qxlabel::Setting& gapLength = qxlabel::Named("GapLength");
  static_assert(gapLength.max <= SHORT_NUMBER_MAX, "the gap length is sent as a short number");
  DWORD value = 0;
  if (read_printer_dword(printer, PrinterKey(darkness), &value) && qxlabel::InRange(darkness, value)) {
    BYTE level = static_cast<BYTE>(value);
    if (!PushPackage(header, CMD_DARKNESS, &level, 1)) return FALSE;
  }
  if (read_printer_dword(printer, PrinterKey(speed), &value) && qxlabel::InRange(speed, value)) {
    BYTE level = static_cast<BYTE>(value);
    if (!PushPackage(header, CMD_SPEED, &level, 1)) return FALSE;
  }
  if (read_printer_dword(printer, PrinterKey(gapType), &value) && qxlabel::InRange(gapType, value)) {
    BYTE type = static_cast<BYTE>(value);
    if (!PushPackage(header, CMD_GAP_TYPE, &type, 1)) return FALSE;
    if (type != 0 && read_printer_dword(printer, PrinterKey(gapLength), &value) &&
        qxlabel::InRange(gapLength, value))
      if (!PushNumber(header, CMD_GAP_LENGTH, static_cast<WORD>(value))) return FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL CJobProc::PushPageEnd(PDEVOBJ pdevobj) {
  TraceMessage(TRACE_INF, TRUE, WSTR("CJobProc::PushPageEnd(%d)"), m_dwPage);
  // The header carries the whole page's dot limits, so it is built last, in a list of its own,
  // and linked in front of the page's chunks without copying them.
  CPackageList header;
  if (!BuildHeader(header, pdevobj ? pdevobj->hPrinter : nullptr, m_nPageWidth, m_nMaxSfDots, m_nMaxLEDots))
    return FALSE;
  m_Packages.JoinInFront(header);
  return PushPackage(m_Packages, CMD_PAGE_END, nullptr, 0);
}
