#include "tools/qxvn/print/job_builder.h"

#include <algorithm>

#include "common/tool_error.h"

namespace qxvn {
namespace {

constexpr SHORT kStandardForm = 1;
constexpr SHORT kUserDefinedPaper = 256;

// Pixels at 300 dpi to tenths of a millimetre, rounded, within the device mode's range.
SHORT TenthsAt300Dpi(uint32_t pixels) {
  uint64_t tenths = (uint64_t{pixels} * 254 + 150) / 300;
  return static_cast<SHORT>(std::min<uint64_t>(tenths, 32767));
}

}  // namespace

DEVMODEW JobDevMode(const PrintOptions& options, const PageImage& firstPage) {
  const auto copies = static_cast<SHORT>(options.copies);
  const SHORT collate = options.collate ? DMCOLLATE_TRUE : DMCOLLATE_FALSE;
  DEVMODEW dm = options.paper ? qxhost::MakeDevMode(kUserDefinedPaper, options.paper->widthTenths,
                                                    options.paper->lengthTenths, copies, collate)
                              : qxhost::MakeDevMode(kStandardForm, TenthsAt300Dpi(firstPage.width),
                                                    TenthsAt300Dpi(firstPage.height), copies, collate);
  if (!options.collate) dm.dmFields &= ~static_cast<DWORD>(DM_COLLATE);
  return dm;
}

qxhost::JobSpec BuildJob(const PrintOptions& options, PageFeeder& feeder, PrinterData printerData,
                         std::u16string documentName) {
  qxhost::JobSpec job;
  job.jobId = options.jobId;
  job.documentName = std::move(documentName);
  job.devMode = JobDevMode(options, feeder.Decode(0));
  job.bitsPerPixel = static_cast<WORD>(options.bitsPerPixel);
  job.printerData = std::move(printerData);

  const size_t pages = feeder.PageCount();
  const bool collatedByUs = options.collate && options.copies > 1 && pages > 1;
  const uint64_t played = uint64_t{pages} * (collatedByUs ? options.copies : 1);
  if (played > 0xFFFFFFFF) throw ToolError("too many pages: " + std::to_string(played) + " to print");
  job.totalPages = static_cast<DWORD>(pages);
  job.feed.count = static_cast<DWORD>(played);
  job.feed.next = [&feeder](DWORD number, qxhost::PageSpec& page, std::string& error) {
    return feeder.Next(number, page, error);
  };
  return job;
}

}  // namespace qxvn
