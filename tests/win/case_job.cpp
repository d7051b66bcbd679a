#include "tests/win/case_job.h"

#include <cstdio>

namespace qxcase {

qxhost::JobSpec ToJobSpec(const Case& c) {
  qxhost::JobSpec job;
  job.jobId = c.jobId;
  if (c.documentName)
    job.documentName = Utf16(*c.documentName);
  else
    job.documentName.reset();
  job.devMode = c.devMode;
  job.totalPages = c.totalPages;
  job.bitsPerPixel = c.bitsPerPixel;
  for (const PrinterValue& v : c.printerData) {
    qxhost::PrinterValue value;
    value.type = v.type;
    value.data.assign(v.data.begin(), v.data.end());
    job.printerData.emplace_back(Utf16(v.name), std::move(value));
  }
  for (const PageCase& p : c.pages) {
    qxhost::PageSpec page;
    page.devMode = p.devMode;
    for (const BandSpec& b : p.bands) {
      qxhost::BandView band;
      band.pixels = b.pixels.data();
      band.width = p.width;
      band.height = b.bottomUp ? b.rows : -b.rows;
      band.sizeImage = BandSizeImage(b, p.width, c.bitsPerPixel);
      band.blank = b.blank;
      band.top = b.top;
      band.callbackId = BandCallbackId(b, c.bitsPerPixel);
      page.bands.push_back(band);
    }
    job.pages.push_back(std::move(page));
  }
  job.abortInPage = c.abortInPage;
  return job;
}

qxhost::HostFaults ToHostFaults(const Case& c) {
  qxhost::HostFaults faults;
  faults.failingDdi = c.faults.failingDdi;
  faults.spoolFailFromWrite = c.faults.spoolFailFromWrite;
  faults.getJobNoSize = c.faults.getJobNoSize;
  faults.getJobFillFails = c.faults.getJobFillFails;
  faults.createPaletteFails = c.faults.createPaletteFails;
  return faults;
}

std::string DescribeCalls(const qxhost::PrintResult& result) {
  std::string text;
  // Appended piece by piece: GCC 12 misreads chains of string additions (-Wrestrict).
  for (const qxhost::CallResult& call : result.calls) {
    text.append(call.call).append(" page ").append(std::to_string(call.page));
    text.append(" band ").append(std::to_string(call.band)).append(": ");
    text.append(std::to_string(call.result)).append(call.ok ? " ok\n" : " failed\n");
  }
  text.append("spool writes:");
  for (DWORD size : result.spoolWrites) text.append(" ").append(std::to_string(size));
  text.append("\nresult: ");
  text.append(result.ok ? "ok" : "failed: ").append(result.ok ? "" : result.error).append("\n");
  return text;
}

bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (file && std::fclose(file) != 0) ok = false;
  if (!ok && error) *error = "cannot write " + path;
  return ok;
}

}  // namespace qxcase
