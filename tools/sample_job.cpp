// A small job through the job processor: one page with a box and a bar, 2 copies.
// Prints the command stream in hex; the trace goes to standard error.
#include <cstdio>
#include <vector>

#include "host/services/host_services.h"
#include "host/spool_writer.h"
#include "jobproc/job_proc.h"

int main() {
  HANDLE printer = qxhost::CreatePrinter();
  qxhost::SetPrinterDword(printer, u"PrintDarkness", 10);
  qxhost::SetPrinterDword(printer, u"GapType", 1);
  qxhost::SetPrinterDword(printer, u"GapLength", 24);

  DEVMODEW dm{};
  dm.dmSize = sizeof dm;
  dm.dmFields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES;
  dm.dmPaperSize = DMPAPER_USER;
  dm.dmPaperWidth = 480;
  dm.dmPaperLength = 300;
  dm.dmCopies = 2;

  DEVOBJ devobj{};
  devobj.dwSize = sizeof devobj;
  devobj.hPrinter = printer;
  devobj.pPublicDM = &dm;
  qxhost::SpoolWriter spool;
  spool.Attach(devobj);

  JOB_INFO_2W job{};
  job.JobId = 1;
  job.TotalPages = 1;
  job.pDevMode = &dm;

  CJobProc proc;
  proc.m_dwJobId = 1;
  bool ok = proc.StartJob(&devobj, &job);
  proc.m_dwPage = 1;
  ok = ok && proc.StartPage(&devobj, 1);
  proc.m_nPageWidth = 64;
  std::vector<BYTE> top{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::vector<BYTE> side{0x80, 0, 0, 0, 0, 0, 0, 0x01};
  std::vector<BYTE> bar{0x80, 0x0F, 0xF0, 0, 0x3C, 0, 0, 0x01};
  ok = ok && proc.BlankLines(5) && proc.DataLine(top.data(), 8, 2) && proc.DataLine(side.data(), 8, 6) &&
       proc.DataLine(bar.data(), 8, 12) && proc.DataLine(side.data(), 8, 6) &&
       proc.DataLine(top.data(), 8, 2);
  ok = ok && proc.EndPage(&devobj, 1) && proc.EndJob(&devobj);

  for (size_t i = 0; i < spool.Bytes().size(); ++i)
    std::printf("%02X%c", spool.Bytes()[i], (i % 16 == 15 || i + 1 == spool.Bytes().size()) ? '\n' : ' ');
  qxhost::DeletePrinter(printer);
  return ok ? 0 : 1;
}
