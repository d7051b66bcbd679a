// Job settings read from the printer's data at the start of every job.
#include "jobproc/job_proc.h"
#include "jobproc/paper.h"
#include "trace/trace.h"

BOOL read_printer_dword(HANDLE hPrinter, LPCWSTR name, DWORD* value) {
  DWORD type = 0;
  DWORD needed = 4;
  // A REG_DWORD may be stored with fewer than 4 bytes; zero first so it reads as its own bytes.
  *value = 0;
  DWORD result =
      GetPrinterDataW(hPrinter, const_cast<LPWSTR>(name), &type, reinterpret_cast<LPBYTE>(value), 4, &needed);
  return result == ERROR_SUCCESS && type == REG_DWORD;
}

namespace {

enum class Store { Threshold, Dots, Plain };

// The job's settings, in reading order; names and ranges are the label settings table's.
struct SettingKey {
  const qxlabel::Setting& setting;
  DWORD CJobProc::*field;  // null for the threshold, which is 8-bit
  Store store;
  const WCHAR* trace;
};

const SettingKey kJobKeys[] = {
    {qxlabel::Named("GrayThreshold"), nullptr, Store::Threshold, WSTR("  GrayThreshold : %d")},
    {qxlabel::Named("LabelWidth"), &CJobProc::m_nLabelWidth, Store::Dots, WSTR("  LabelWidth : %d")},
    {qxlabel::Named("LabelHeight"), &CJobProc::m_nLabelHeight, Store::Dots, WSTR("  LabelHeight : %d")},
    {qxlabel::Named("Rotation"), &CJobProc::m_nRotation, Store::Plain, WSTR("  Rotation : %d")},
    {qxlabel::Named("HorAlignment"), &CJobProc::m_nHorAlignment, Store::Plain, WSTR("  HorAlignment : %d")},
    {qxlabel::Named("VerAlignment"), &CJobProc::m_nVerAlignment, Store::Plain, WSTR("  VerAlignment : %d")},
    {qxlabel::Named("OffsetX"), &CJobProc::m_nOffsetX, Store::Dots, WSTR("  OffsetX : %d")},
    {qxlabel::Named("OffsetY"), &CJobProc::m_nOffsetY, Store::Dots, WSTR("  OffsetY : %d")},
};

}  // namespace

BOOL CJobProc::PushJobStart(PDEVOBJ pdevobj, const JOB_INFO_2W* /*job*/) {
  TraceMessage(
      TRACE_INF, TRUE,
      WSTR("CJobProc::PushJobStart(%d) TotalPages: %d, Size: %d X %d, JobCopies: %d, JobCollate: %d, "
           "CustomJob: %C"),
      m_dwJobId, m_wTotalPages, m_nPaperWidth, m_nPaperLength, m_wCopies, m_wCollate,
      m_bCustomJob ? 'C' : 'F');
  HANDLE printer = pdevobj ? pdevobj->hPrinter : nullptr;
  DWORD value = 0;
  for (const SettingKey& key : kJobKeys) {
    if (!read_printer_dword(printer, PrinterKey(key.setting), &value)) continue;
    if (!qxlabel::InRange(key.setting, value)) continue;
    switch (key.store) {
      case Store::Threshold:
        m_byGrayThreshold = static_cast<BYTE>(value);
        break;
      case Store::Dots:
        this->*key.field = MillimetresToDots(value);
        break;
      case Store::Plain:
        this->*key.field = value;
        break;
    }
    TraceMessage(TRACE_INF, TRUE, key.trace, value);
  }
  return TRUE;
}
