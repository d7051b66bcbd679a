#include "printer_app/host_printer.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "host/driver_host.h"
#include "host/services/host_services.h"

namespace qxapp {
namespace {

constexpr SHORT kStandardForm = 1;
constexpr SHORT kUserDefinedPaper = 256;

// One loaded plug-in library for the whole app: the host takes any number of documents at once,
// each with its own printer data, job record and trace.
qxhost::DriverHost& Host() {
  static qxhost::DriverHost host;
  return host;
}

SHORT TenthsAt300Dpi(uint32_t pixels) {
  uint64_t tenths = (uint64_t{pixels} * 254 + 150) / 300;
  return static_cast<SHORT>(std::min<uint64_t>(tenths, 32767));
}

SHORT TenthsOfHundredths(int hundredths) {
  return static_cast<SHORT>(std::clamp((hundredths + 5) / 10, 1, 32767));
}

// Trace lines carry their level after the timestamp: "...  [ERR]  ...".
pappl_loglevel_t LevelOf(std::string_view line) {
  std::string_view head = line.substr(0, 40);
  if (head.find("[ERR]") != std::string_view::npos) return PAPPL_LOGLEVEL_ERROR;
  if (head.find("[WRN]") != std::string_view::npos) return PAPPL_LOGLEVEL_WARN;
  return PAPPL_LOGLEVEL_INFO;
}

}  // namespace

bool LoadPlugin(std::string* error) {
  if (Host().IsLoaded()) return true;
  return Host().Load(qxhost::PluginPath(), error);
}

DEVMODEW PageDevMode(const PageJob& spec, const qxvn::PageImage& page) {
  const auto copies = static_cast<SHORT>(std::clamp(spec.copies, 1, 32767));
  DEVMODEW dm = spec.customSize ? qxhost::MakeDevMode(kUserDefinedPaper, TenthsOfHundredths(spec.mediaWidth),
                                                      TenthsOfHundredths(spec.mediaLength), copies)
                                : qxhost::MakeDevMode(kStandardForm, TenthsAt300Dpi(page.width),
                                                      TenthsAt300Dpi(page.height), copies);
  dm.dmFields &= ~static_cast<DWORD>(DM_COLLATE);
  return dm;
}

bool PrintPage(pappl_job_t* job, const PageJob& spec, const qxvn::PageImage& page,
               std::vector<uint8_t>* stream, std::string* error) {
  qxhost::JobSpec host;
  host.jobId = static_cast<DWORD>(spec.jobId);
  host.documentName = qxhost::FromUtf8(spec.documentName.empty() ? "document" : spec.documentName);
  host.devMode = PageDevMode(spec, page);
  host.bitsPerPixel = static_cast<WORD>(page.bytesPerPixel * 8);
  host.printerData = spec.printerData;
  qxhost::PageSpec pageSpec;
  pageSpec.bands.push_back(qxhost::MakeBand(page.pixels, static_cast<LONG>(page.width),
                                            static_cast<LONG>(page.height), host.bitsPerPixel));
  host.pages.push_back(std::move(pageSpec));

  // The plug-in's trace of this document goes to this job's log, whatever else prints meanwhile.
  host.traceSink = [job](std::u16string_view line) {
    std::string text = qxhost::ToUtf8(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    papplLogJob(job, LevelOf(text), "%s", text.c_str());
  };
  if (!Host().IsLoaded()) {
    *error = "the plug-in library is not loaded";
    return false;
  }
  qxhost::PrintResult result = Host().Print(host);
  if (!result.ok) {
    *error = result.error;
    return false;
  }
  *stream = std::move(result.spool);
  return true;
}

}  // namespace qxapp
