// The options of qxvn print, checked as they are parsed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/barcode/repair.h"
#include "common/dither/content_dither.h"
#include "common/input/page_source.h"
#include "common/layout/placement.h"

namespace qxvn {

struct PaperSize {
  int16_t widthTenths = 0;  // tenths of a millimetre
  int16_t lengthTenths = 0;
};

struct PrintOptions {
  std::vector<std::string> inputs;
  std::string output;
  std::string preview;  // --preview: the pictures of the stream written, as `decode` draws them
  std::string printerData;
  std::vector<std::pair<std::string, uint32_t>> settings;  // --set, in order
  std::optional<PaperSize> paper;
  // With --paper: each page laid out on the paper (by default one pixel a dot from its top left).
  std::optional<Scaling> scaling;
  std::optional<Orientation> orientation;
  uint32_t copies = 1;
  bool collate = false;
  uint32_t bitsPerPixel = 24;
  uint32_t jobId = 1;
  uint32_t bandRows = 0;  // 0: one band a page
  uint32_t dpi = 300;
  PageLimits limits;  // --max-pixels checked before a page is decoded; --max-memory, --max-seconds
  std::string traceFile;
  // Symbols redrawn to whole dots before printing; with `verify`, each one checked in the stream.
  barcode::RepairMode repair = barcode::RepairMode::kAuto;
  bool verify = false;
  Content content = Content::kAuto;  // --content: gray content diffused before the threshold
  bool verbose = false;
  bool help = false;
};

// Throws UsageError for anything missing, unknown or out of range.
PrintOptions ParsePrintOptions(int argc, char** argv, int first);

// "48x76" or "48.5x76.2" millimetres; throws UsageError.
PaperSize ParsePaper(const std::string& text);

// How pages are laid out on the paper, when --scaling or --orientation asks for it.
std::optional<LayoutChoice> LayoutOf(const PrintOptions& options);

}  // namespace qxvn
