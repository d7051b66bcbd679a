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

struct SettingKey {
  const WCHAR* name;
  DWORD CJobProc::*field;  // null for the threshold, which is 8-bit
  DWORD minimum;
  DWORD maximum;
  Store store;
  const WCHAR* trace;
};

const SettingKey kJobKeys[] = {
    {WSTR("GrayThreshold"), nullptr, 1, 254, Store::Threshold, WSTR("  GrayThreshold : %d")},
    {WSTR("LabelWidth"), &CJobProc::m_nLabelWidth, 0, 0xFFFFFFFF, Store::Dots, WSTR("  LabelWidth : %d")},
    {WSTR("LabelHeight"), &CJobProc::m_nLabelHeight, 0, 0xFFFFFFFF, Store::Dots, WSTR("  LabelHeight : %d")},
    {WSTR("Rotation"), &CJobProc::m_nRotation, 0, 3, Store::Plain, WSTR("  Rotation : %d")},
    {WSTR("HorAlignment"), &CJobProc::m_nHorAlignment, 0, 2, Store::Plain, WSTR("  HorAlignment : %d")},
    {WSTR("VerAlignment"), &CJobProc::m_nVerAlignment, 0, 2, Store::Plain, WSTR("  VerAlignment : %d")},
    {WSTR("OffsetX"), &CJobProc::m_nOffsetX, 0, 0xFFFFFFFF, Store::Dots, WSTR("  OffsetX : %d")},
    {WSTR("OffsetY"), &CJobProc::m_nOffsetY, 0, 0xFFFFFFFF, Store::Dots, WSTR("  OffsetY : %d")},
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
    if (!read_printer_dword(printer, key.name, &value)) continue;
    if (value < key.minimum || value > key.maximum) continue;
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
