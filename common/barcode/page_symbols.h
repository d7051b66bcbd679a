// The two steps a printing page goes through, for qxvn print and the printer application alike:
// before the plug-in, its symbols are read from the laid-out page and redrawn to whole dots as
// the repair mode asks; after it, they are looked for in the dots of the stream it wrote.
#pragma once

#include <cstdint>
#include <vector>

#include "common/barcode/gray_image.h"
#include "common/barcode/page_check.h"
#include "common/barcode/repair.h"
#include "common/barcode/symbol.h"
#include "common/input/page_image.h"
#include "common/layout/render_on_label.h"

namespace qxvn::barcode {

// The plug-in's threshold when the printer data sets none.
constexpr uint8_t kDefaultThreshold = 150;

// Pages of more pixels are not read: a label is at most 576 dots wide, and this is 2.3 m of it;
// an A4 page at 300 dpi (8.7 million) would cost a second to read for what the label cuts off.
constexpr uint64_t kMostCheckedPixels = 4'000'000;

struct PreparedPage {
  std::vector<Symbol> symbols;  // as read from the page before any repair
  std::vector<bool> repaired;
  bool unchecked = false;  // larger than kMostCheckedPixels: not read, not repaired
};

// Reads `page` (3 or 4 bytes a pixel) and repairs it in place. With `from`, the image the page
// was laid out from counts too, at its own resolution: resampled to the label, a symbol whose
// modules fall between dots can be lost to the reader just as to the printer. `fromSymbols`
// are its symbols when they were read already (by SymbolAreas).
PreparedPage PreparePage(PageImage& page, RepairMode mode, uint8_t threshold = kDefaultThreshold,
                         const LaidOutFrom* from = nullptr, const std::vector<Symbol>* fromSymbols = nullptr);

// The symbols' boxes on `page` with room around them for their quiet zones (a tenth of a
// linear symbol's length, a fifth of a 2D symbol's side) and, for a linear one, its bars' whole
// height: the reader's box covers the lines it read, which may be a few.
std::vector<Box> Surroundings(const PageImage& page, const std::vector<Symbol>& symbols,
                              uint8_t threshold = kDefaultThreshold);

// The symbols of a document page with their quiet zones, for the layout to keep whole
// (KeepWhole); what was read goes to `found`.
std::vector<DocumentArea> SymbolAreas(const PageImage& document, std::vector<Symbol>* found = nullptr);

// `page` from 1; `dots` the page as the stream prints it.
PageCheck CheckPrinted(unsigned page, const PreparedPage& prepared, const GrayView& dots);

}  // namespace qxvn::barcode
