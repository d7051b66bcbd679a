// A cheap look for lines of a gray page that could cross a symbol: runs of dark and light, each
// within a few times its neighbour, as a symbol's bars and spaces are (a linear symbol's elements
// are one to four modules wide). The reader costs milliseconds a pass; this costs a look at each
// pixel, so a page, or a turn of it, with no such line is not read at all.
#pragma once

#include <cstdint>
#include <vector>

#include "common/barcode/gray_image.h"
#include "common/barcode/symbol.h"

namespace qxvn::barcode {

// The fewest bars a line across a linear symbol crosses (ITF of two digits), and across a 2D
// symbol's finder, timing or start pattern.
inline constexpr uint32_t kLinearBars = 8;
inline constexpr uint32_t kMatrixBars = 3;

// A band of page lines [first, last): rows or columns.
struct Band {
  uint32_t first = 0;
  uint32_t last = 0;
};

struct BarLines {
  bool rowsWithMatrixBars = false;  // some row crosses at least kMatrixBars
  bool RowsWithLinearBars() const { return !rowBands.empty(); }
  // Rows and columns crossing at least kLinearBars, widened by `margin`: a linear symbol read
  // upright lies within a row band, one read turned within a column band.
  std::vector<Band> rowBands;
  std::vector<Band> columnBands;
};

BarLines FindBarLines(const GrayView& page, uint32_t margin);
// FindBarLines' row bands alone.
std::vector<Band> LinearRowBands(const GrayView& page, uint32_t margin);

// `box` (a linear symbol read across rows of `page`) grown up and down over the rows that carry
// the same bars as its first and last rows, each edge within a dot of the row before: the reader
// may have seen the symbol on two lines only, and the grade, the repair and the blanking of a
// symbol already read want all of its height.
Box AlongBars(const GrayView& page, Box box);

}  // namespace qxvn::barcode
