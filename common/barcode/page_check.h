// Checks a printed page against its source: every symbol read in the source page must be read
// from the printed dots with the same format and bytes; a linear one is graded from its dots.
#pragma once

#include <optional>
#include <vector>

#include "common/barcode/gray_image.h"
#include "common/barcode/symbol.h"

namespace qxvn::barcode {

// The printed dots' resolution.
constexpr double kDotsPerInch = 300;

class UprightFrame;

// One scan line of a linear symbol at height `v` of its upright frame: its elements from the
// bar at the start of `upright` (the symbol's box in the frame) to the bar at its end, found
// within a few dots of them, their positions along the line and the white on either side.
struct LineScan {
  std::vector<uint32_t> elements;
  int32_t first = 0;  // the first bar's first dot
  int32_t last = 0;   // the last bar's last dot
  uint32_t leftQuiet = 0;
  uint32_t rightQuiet = 0;
};
std::optional<LineScan> ScanAt(const GrayView& dots, const UprightFrame& frame, const Box& upright,
                               int32_t v);

// The grade of a linear symbol read from `dots` (0 a dot, 255 white), from up to ten scan lines
// across its height; nothing for a format not graded or a symbol not at a quarter turn.
std::optional<LinearGrade> GradePrinted(const GrayView& dots, const Symbol& printed,
                                        double dotsPerInch = kDotsPerInch);

// `source`: the symbols read from the page as laid out; `dots`: the page as printed.
PageCheck CheckPage(unsigned page, const std::vector<Symbol>& source, const GrayView& dots,
                    double dotsPerInch = kDotsPerInch);

// A symbol passes when it was read with its data and, when graded, graded above F.
void Judge(SymbolCheck& check);

}  // namespace qxvn::barcode
