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

}  // namespace qxvn::barcode
