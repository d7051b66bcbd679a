// PAPPL's raster callbacks for one job: the job's settings are resolved at its start, a page's
// lines are collected into one band and the page is printed through the plug-in at its end,
// and the stream goes to the device. One page per job is held at most.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/barcode/symbol.h"
#include "common/input/page_image.h"
#include "common/layout/render_on_label.h"
#include "printer_app/label_driver/barcode_check.h"
#include "printer_app/label_driver/host_printer.h"

namespace qxapp {

// What the job's pages are printed with: its copies, media and printer data; `choices`, when
// given, gets the job's settings they were resolved from.
PageJob PageJobOf(pappl_job_t* job, const pappl_pr_options_t* options, JobChoices* choices = nullptr);

// One raster page as the raster callbacks take it, line by line, made a page of B, G, R rows.
class RasterPage {
 public:
  // A white page of the header's size; false with `error` for a raster this printer cannot print.
  bool Start(const cups_page_header2_t& header, std::string* error);
  // Line `y` of the raster; false past the page's end or before a start.
  bool AddLine(unsigned y, const unsigned char* line);
  const qxvn::PageImage& Image() const { return m_page; }
  void Clear() { m_page = qxvn::PageImage{}; }

 private:
  enum class LineLayout { Rgb, Gray, Black };
  qxvn::PageImage m_page;
  LineLayout m_layout = LineLayout::Rgb;
  unsigned m_rowRepeat = 1;  // dots down a raster line covers: 2 for a 300 x 150 dpi raster
};

bool StartLabelJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool StartLabelPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool WriteLabelLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned y,
                    const unsigned char* line);
bool EndLabelPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned page);
bool EndLabelJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

// The end of a job a filter printed (`printed` false when it failed): the job's state is freed
// and, when it printed, its stream delivered; false when the device did not take it all.
bool FinishLabelJob(pappl_job_t* job, pappl_device_t* device, bool printed);

// For a filter that prints the whole document once a copy (collated copies): every page is then
// printed once, and the copies asked for are returned.
int TakeCopies(pappl_job_t* job);

// Prints a page already decoded (B, G, R rows) as the job's next page: the PDF filter's way in.
// `from` is the image it was laid out from, and `fromSymbols` the bar codes read there.
bool PrintDecodedPage(pappl_job_t* job, pappl_device_t* device, const qxvn::PageImage& page,
                      const qxvn::LaidOutFrom* from = nullptr,
                      const std::vector<qxvn::barcode::Symbol>* fromSymbols = nullptr);

// The stream of one page as a job prints it: its bar codes repaired as `barcodes` says, then
// through the plug-in (whose trace goes to `job`'s log; none without a job). `symbols`, when
// given, gets the bar codes the page was prepared with. False with `error`.
bool LabelPageStream(pappl_job_t* job, const PageJob& spec, const BarcodeSettings& barcodes,
                     const qxvn::PageImage& page, const qxvn::LaidOutFrom* from,
                     const std::vector<qxvn::barcode::Symbol>* fromSymbols, std::vector<uint8_t>* stream,
                     std::string* error, qxvn::barcode::PreparedPage* symbols = nullptr);

// A page of a waiting job as it would print: its number, the bar codes it was prepared with
// and its stream.
using WaitingPage = std::function<void(unsigned number, const qxvn::barcode::PreparedPage& symbols,
                                       const std::vector<uint8_t>& stream)>;

// For RenderOnLabel: the document's bar codes kept whole, and put in `found` when it reads them.
qxvn::KeepWhole KeepBarcodesWhole(std::optional<std::vector<qxvn::barcode::Symbol>>* found);

// A raw stream in the printer's own format goes to the device unchanged.
bool PrintRawFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

}  // namespace qxapp
