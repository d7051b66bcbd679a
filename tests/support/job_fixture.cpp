#include "tests/support/job_fixture.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace qxtest {

DEVMODEW MakeDevMode(SHORT widthTenths, SHORT lengthTenths, bool custom, SHORT copies, SHORT collate) {
  DEVMODEW dm{};
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmFields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES | DM_COLLATE;
  dm.dmPaperSize = custom ? DMPAPER_USER : DMPAPER_LETTER;
  dm.dmPaperWidth = widthTenths;
  dm.dmPaperLength = lengthTenths;
  dm.dmCopies = copies;
  dm.dmCollate = collate;
  return dm;
}

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

std::vector<BYTE> FromHex(const std::string& hex) {
  std::vector<BYTE> out;
  std::istringstream in(hex);
  std::string byte;
  while (in >> byte) out.push_back(static_cast<BYTE>(std::stoul(byte, nullptr, 16)));
  return out;
}

std::vector<BYTE> ListBytes(const CPackageList& list) {
  std::vector<BYTE> out;
  for (const PackageChunk* chunk = list.Head(); chunk; chunk = chunk->next)
    out.insert(out.end(), chunk->data, chunk->data + chunk->used);
  return out;
}

JobFixture::JobFixture() : printer(qxhost::CreatePrinter()) {
  devobj.dwSize = sizeof(DEVOBJ);
  devobj.hPrinter = printer;
  spool.Attach(devobj);
  // A job id as the document hook would give it.
  job.m_dwJobId = 1;
}

JobFixture::~JobFixture() { qxhost::DeletePrinter(printer); }

BOOL JobFixture::StartJob(DWORD totalPages, const DEVMODEW& mode) {
  devMode = mode;
  devobj.pPublicDM = &devMode;
  JOB_INFO_2W info{};
  info.JobId = job.m_dwJobId;
  info.TotalPages = totalPages;
  info.pDevMode = &devMode;
  return job.StartJob(&devobj, &info);
}

BOOL JobFixture::StartPage() {
  if (IsPageOpen(job.m_byState) && !EndPage()) return FALSE;
  ++job.m_dwPage;
  return job.StartPage(&devobj, job.m_dwPage);
}

}  // namespace qxtest
