// A device context for driving a CJobProc directly: device object, printer with its data,
// spool writer, job record and trace capture.
#pragma once

#include <string>
#include <vector>

#include "host/services/host_services.h"
#include "host/spool_writer.h"
#include "jobproc/job_proc.h"
#include "tests/support/trace_capture.h"

namespace qxtest {

// A device mode with the given paper size in tenths of a millimetre.
DEVMODEW MakeDevMode(SHORT widthTenths, SHORT lengthTenths, bool custom, SHORT copies = 1, SHORT collate = 0);

// The document's label settings: read at job start, cleared by Reset.
inline constexpr DWORD CJobProc::*kLabelSettings[] = {&CJobProc::m_nRotation,     &CJobProc::m_nLabelWidth,
                                                      &CJobProc::m_nLabelHeight,  &CJobProc::m_nHorAlignment,
                                                      &CJobProc::m_nVerAlignment, &CJobProc::m_nOffsetX,
                                                      &CJobProc::m_nOffsetY};

// Hex text of bytes: "1F 20 00 88".
std::string Hex(const std::vector<BYTE>& bytes);
std::vector<BYTE> FromHex(const std::string& hex);
// Bytes of a package list, chunk after chunk.
std::vector<BYTE> ListBytes(const CPackageList& list);

class JobFixture {
 public:
  JobFixture();
  ~JobFixture();

  // Starts a job of `totalPages` with `devMode` as the job's and the page's device mode.
  BOOL StartJob(DWORD totalPages, const DEVMODEW& devMode);
  BOOL StartJob(DWORD totalPages = 1) { return StartJob(totalPages, MakeDevMode(1000, 1500, false)); }
  // Page hooks as the plug-in drives them: counts the page and starts it.
  BOOL StartPage();
  BOOL EndPage() { return job.EndPage(&devobj, job.m_dwPage); }
  // Feeds raster lines of `bytes` (each `lines` times).
  BOOL Line(const std::vector<BYTE>& bytes, DWORD lines = 1) {
    return job.DataLine(bytes.data(), static_cast<DWORD>(bytes.size()), lines);
  }
  BOOL Blank(DWORD lines, DWORD width = MAX_LINE_BYTES) {
    std::vector<BYTE> zero(width, 0);
    return job.DataLine(zero.data(), width, lines);
  }

  const std::vector<BYTE>& Spooled() const { return spool.Bytes(); }

  HANDLE printer;
  DEVMODEW devMode{};
  DEVOBJ devobj{};
  qxhost::SpoolWriter spool;
  TraceCapture trace;
  CJobProc job;
};

}  // namespace qxtest
