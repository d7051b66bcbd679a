#include "common/barcode/bar_runs.h"

#include <algorithm>

namespace qxvn::barcode {
namespace {

// Neighbouring elements of a symbol: at most four modules against one, with a few dots of
// slack for edges the threshold moved.
bool Alike(uint32_t a, uint32_t b) { return std::max(a, b) <= 6 * std::min(a, b) + 6; }

// One line's runs, fed a pixel at a time; `bars` is the most dark runs in one chain of alike runs.
struct LineRuns {
  bool dark = false;
  uint32_t run = 0;
  uint32_t previous = 0;
  uint32_t chain = 0;
  uint32_t bars = 0;

  void EndRun() {
    if (run == 0) return;
    if (previous != 0 && !Alike(previous, run)) chain = 0;
    if (dark) bars = std::max(bars, ++chain);
    previous = run;
  }
  void Add(bool d) {
    if (d != dark && run != 0) {
      EndRun();
      run = 0;
    }
    dark = d;
    ++run;
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

}  // namespace

BarLines FindBarLines(const GrayView& page, uint32_t margin) {
  BarLines found;
  std::vector<LineRuns> columns((page.width + kColumnStep - 1) / kColumnStep);
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* row = page.pixels + y * page.stride;
    for (uint32_t c = 0; c < columns.size(); ++c) columns[c].Add(row[c * kColumnStep] < 128);
    if (y % kRowStep != 0) continue;
    LineRuns line;
    for (uint32_t x = 0; x < page.width; ++x) line.Add(row[x] < 128);
    line.EndRun();
    found.rowsWithMatrixBars = found.rowsWithMatrixBars || line.bars >= kMatrixBars;
    found.rowsWithLinearBars = found.rowsWithLinearBars || line.bars >= kLinearBars;
  }
  for (uint32_t c = 0; c < columns.size(); ++c) {
    columns[c].EndRun();
    if (columns[c].bars < kLinearBars) continue;
    const uint32_t x = c * kColumnStep;
    const uint32_t first = x > margin ? x - margin : 0;
    const uint32_t last = std::min(page.width, x + kColumnStep + margin);
    if (!found.columnBands.empty() && first <= found.columnBands.back().last) {
      found.columnBands.back().last = last;
    } else {
      found.columnBands.push_back({first, last});
    }
  }
  return found;
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
