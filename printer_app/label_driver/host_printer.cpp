#include "printer_app/label_driver/host_printer.h"

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

// Trace lines carry their level after the timestamp: "...  [ERR]  ...". Everything else the
// plug-in traces is for debugging: the job's log keeps one line a page of it (PageSummary).
pappl_loglevel_t LevelOf(std::string_view line) {
  std::string_view head = line.substr(0, 40);
  if (head.find("[ERR]") != std::string_view::npos) return PAPPL_LOGLEVEL_ERROR;
  if (head.find("[WRN]") != std::string_view::npos) return PAPPL_LOGLEVEL_WARN;
  return PAPPL_LOGLEVEL_DEBUG;
}

// The number after "NAME :" in a report line ("...  [INF]      TotalLines  :    898"), or empty.
std::string ReportFigure(std::string_view line, std::string_view name) {
  const size_t at = line.find(name);
  if (at == std::string_view::npos) return {};
  std::string_view rest = line.substr(at + name.size());
  const size_t colon = rest.find_first_not_of(' ');
  if (colon == std::string_view::npos || rest[colon] != ':') return {};
  rest = rest.substr(colon + 1);
  const size_t first = rest.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  rest = rest.substr(first);
  const size_t digits = rest.find_first_not_of("0123456789");
  return std::string(rest.substr(0, digits));
}

}  // namespace

std::string PageSummary::Take(std::string_view traceLine) {
  if (std::string figure = ReportFigure(traceLine, "TotalLines"); !figure.empty()) {
    m_lines = figure;
  } else if (std::string dots = ReportFigure(traceLine, "TotalDots"); !dots.empty()) {
    m_dots = dots;
  } else if (std::string bytes = ReportFigure(traceLine, "PrintBytes"); !bytes.empty()) {
    std::string summary = "Page " + std::to_string(m_page) + ": " + m_lines + " lines, " + m_dots +
                          " dots, " + bytes + " bytes";
    ++m_page;
    return summary;
  }
  return {};
}

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
  auto summary = std::make_shared<PageSummary>(spec.pageNumber);
  host.traceSink = [job, summary](std::u16string_view line) {
    std::string text = qxhost::ToUtf8(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    papplLogJob(job, LevelOf(text), "%s", text.c_str());
    if (std::string page = summary->Take(text); !page.empty())
      papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%s", page.c_str());
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
