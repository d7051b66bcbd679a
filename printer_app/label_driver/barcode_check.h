// The bar code check of a job's pages (common/barcode/): before the plug-in, each page's symbols
// are read and redrawn to whole dots as the printer's "barcode-repair" asks; after it, they are
// read again from the stream it wrote. With "barcode-check" warn, a failing symbol is named in
// the job's log and message and the label prints; with hold, nothing reaches the device until
// the job is released (Release-Job) or cancelled.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/barcode/page_symbols.h"
#include "common/dither/content_dither.h"
#include "common/layout/render_on_label.h"
#include "printer_app/options/setting_map.h"

namespace qxapp {

struct BarcodeSettings {
  uint32_t check = kBarcodeCheckWarn;
  qxvn::barcode::RepairMode repair = qxvn::barcode::RepairMode::kAuto;
  uint8_t threshold = kDefaultGrayThreshold;
  qxvn::Content content = qxvn::Content::kAuto;  // print-content-optimize photo and graphic diffuse
};

// From the job's choices, its resolved printer data (the threshold) and its print-content-optimize.
BarcodeSettings BarcodeSettingsOf(const JobChoices& choices, const PrinterData& data,
                                  pappl_content_t content);

// Reads (and repairs) `page` before it prints, and diffuses its grays when the content asks;
// nothing when all are off.
qxvn::barcode::PreparedPage PrepareLabelPage(const BarcodeSettings& settings, qxvn::PageImage& page,
                                             const qxvn::LaidOutFrom* from,
                                             const std::vector<qxvn::barcode::Symbol>* fromSymbols);

// Checks the first page of `stream` against `prepared`, one log line a symbol; the words for
// the job's message about the first failing one, empty when every symbol passed.
std::string CheckLabelStream(pappl_job_t* job, unsigned pageNumber,
                             const qxvn::barcode::PreparedPage& prepared, const std::vector<uint8_t>& stream);

// Holds the job with `reason` in its message until it is released (true), or cancelled or the
// app shuts down (false). The printer prints nothing else meanwhile.
bool HoldForRelease(pappl_job_t* job, const std::string& reason);

// For Release-Job: true when the check takes the release: a job held as it prints goes on, one
// not yet checked prints once it passes (barcode_hold.h).
bool ReleaseCheckHold(pappl_job_t* job);

}  // namespace qxapp
