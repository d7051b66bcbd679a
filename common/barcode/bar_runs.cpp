#include "common/barcode/bar_runs.h"

#include <algorithm>
#include <cstring>

namespace qxvn::barcode {
namespace {

// Neighbouring elements of a symbol: at most four modules against one, with a few dots of
// slack for edges the threshold moved.
bool Alike(uint32_t a, uint32_t b) { return std::max(a, b) <= 6 * std::min(a, b) + 6; }

// Runs of one line: `bars` is the most dark runs in one chain of alike runs.
struct RunChain {
  uint32_t previous = 0;
  uint32_t chain = 0;
  uint32_t bars = 0;

  void End(uint32_t run, bool dark) {
    if (run == 0) return;
    if (previous != 0 && !Alike(previous, run)) chain = 0;
    if (dark) bars = std::max(bars, ++chain);
    previous = run;
  }
};

// A row's runs, fed left to right. Labels are mostly white: eight pixels of the run's own shade
// are taken at once.
uint32_t RowBars(const uint8_t* row, uint32_t width) {
  constexpr uint64_t kHighBits = 0x8080808080808080u;
  RunChain runs;
  bool dark = false;
  uint32_t run = 0;
  uint32_t x = 0;
  while (x < width) {
    if (x + 8 <= width) {
      uint64_t eight;
      std::memcpy(&eight, row + x, sizeof eight);
      if ((eight & kHighBits) == (dark ? 0 : kHighBits)) {
        run += 8;
        x += 8;
        continue;
      }
    }
    const bool d = row[x] < 128;
    if (d != dark && run != 0) {
      runs.End(run, dark);
      run = 0;
    }
    dark = d;
    ++run;
    ++x;
  }
  runs.End(run, dark);
  return runs.bars;
}

// A column's runs, fed top to bottom: a run is measured when it ends, so a row that changes no
// column's shade costs nothing beyond seeing that it is the row before over again.
struct ColumnRuns {
  RunChain runs;
  bool dark = false;
  uint32_t start = 0;

  void At(uint32_t y, bool d) {
    if (d == dark) return;
    runs.End(y - start, dark);
    start = y;
    dark = d;
  }
};

// Every other row and every fourth column is looked at: a symbol the reader can find is more
// lines high than that, and each line is followed dot by dot.
constexpr uint32_t kRowStep = 2;
constexpr uint32_t kColumnStep = 4;

// Where row y's dark runs within [left, right) begin and end.
void EdgesOf(const GrayView& page, int32_t y, int32_t left, int32_t right, std::vector<int32_t>& edges) {
  edges.clear();
  const uint8_t* row = page.pixels + static_cast<size_t>(y) * page.stride;
  bool dark = false;
  for (int32_t x = left; x < right; ++x) {
    if ((row[x] < 128) == dark) continue;
    dark = !dark;
    edges.push_back(x);
  }
  if (dark) edges.push_back(right);
}

bool SameBars(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
  if (a.size() != b.size() || a.size() < 2 * kMatrixBars) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] > b[i] + 1 || b[i] > a[i] + 1) return false;
  return true;
}

// The last row, going by `step` from `from`, whose bars continue those of the row before.
int32_t LastRowOfBars(const GrayView& page, int32_t from, int32_t step, int32_t left, int32_t right) {
  std::vector<int32_t> previous, next;
  EdgesOf(page, from, left, right, previous);
  int32_t last = from;
  for (int32_t y = from + step; y >= 0 && y < static_cast<int32_t>(page.height); y += step) {
    EdgesOf(page, y, left, right, next);
    if (!SameBars(previous, next)) break;
    last = y;
    previous.swap(next);
  }
  return last;
}

// Adds line `at` (a row or a column), widened by `margin` within [0, end), joining the band before
// when they touch.
void AddToBands(std::vector<Band>& bands, uint32_t at, uint32_t step, uint32_t margin, uint32_t end) {
  const uint32_t first = at > margin ? at - margin : 0;
  const uint32_t last = std::min(end, at + step + margin);
  if (!bands.empty() && first <= bands.back().last) {
    bands.back().last = last;
  } else {
    bands.push_back({first, last});
  }
}

}  // namespace

BarLines FindBarLines(const GrayView& page, uint32_t margin) {
  BarLines found;
  std::vector<ColumnRuns> columns((page.width + kColumnStep - 1) / kColumnStep);
  const uint8_t* above = nullptr;
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* row = page.pixels + y * page.stride;
    if (!above || std::memcmp(row, above, page.width) != 0)
      for (uint32_t c = 0; c < columns.size(); ++c) columns[c].At(y, row[c * kColumnStep] < 128);
    above = row;
    if (y % kRowStep != 0) continue;
    const uint32_t bars = RowBars(row, page.width);
    found.rowsWithMatrixBars = found.rowsWithMatrixBars || bars >= kMatrixBars;
    if (bars >= kLinearBars) AddToBands(found.rowBands, y, kRowStep, margin, page.height);
  }
  for (uint32_t c = 0; c < columns.size(); ++c) {
    ColumnRuns& column = columns[c];
    column.runs.End(page.height - column.start, column.dark);
    if (column.runs.bars >= kLinearBars)
      AddToBands(found.columnBands, c * kColumnStep, kColumnStep, margin, page.width);
  }
  return found;
}

std::vector<Band> LinearRowBands(const GrayView& page, uint32_t margin) {
  std::vector<Band> bands;
  for (uint32_t y = 0; y < page.height; y += kRowStep)
    if (RowBars(page.pixels + y * page.stride, page.width) >= kLinearBars)
      AddToBands(bands, y, kRowStep, margin, page.height);
  return bands;
}

Box AlongBars(const GrayView& page, Box box) {
  const int32_t left = std::max(box.left, 0);
  const int32_t right = std::min(box.right, static_cast<int32_t>(page.width));
  const int32_t top = std::max(box.top, 0);
  const int32_t bottom = std::min(box.bottom, static_cast<int32_t>(page.height));
  if (left >= right || top >= bottom) return box;
  box.top = std::min(box.top, LastRowOfBars(page, top, -1, left, right));
  box.bottom = std::max(box.bottom, LastRowOfBars(page, bottom - 1, 1, left, right) + 1);
  return box;
}

}  // namespace qxvn::barcode
