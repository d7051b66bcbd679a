#include "tools/qxvn/print/job_builder.h"

#include <algorithm>

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

qxhost::JobSpec BuildJob(const PrintOptions& options, const std::vector<PageImage>& pages,
                         PrinterData printerData, std::u16string documentName) {
  qxhost::JobSpec job;
  job.jobId = options.jobId;
  job.documentName = std::move(documentName);
  job.devMode = JobDevMode(options, pages.front());
  job.totalPages = static_cast<DWORD>(pages.size());
  job.bitsPerPixel = static_cast<WORD>(options.bitsPerPixel);
  job.printerData = std::move(printerData);

  std::vector<qxhost::PageSpec> played;
  for (const PageImage& page : pages) {
    qxhost::PageSpec spec;
    const uint32_t bandRows = options.bandRows ? options.bandRows : page.height;
    for (uint32_t top = 0; top < page.height; top += bandRows) {
      const uint32_t rows = std::min(bandRows, page.height - top);
      spec.bands.push_back(qxhost::MakeBand(page.Row(top), static_cast<LONG>(page.width),
                                            static_cast<LONG>(rows), job.bitsPerPixel,
                                            static_cast<LONG>(top)));
    }
    played.push_back(std::move(spec));
  }
  const bool collatedByUs = options.collate && options.copies > 1 && pages.size() > 1;
  const uint32_t playthroughs = collatedByUs ? options.copies : 1;
  for (uint32_t copy = 0; copy < playthroughs; ++copy)
    job.pages.insert(job.pages.end(), played.begin(), played.end());
  return job;
}

}  // namespace qxvn
