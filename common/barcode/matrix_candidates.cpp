#include "common/barcode/matrix_candidates.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qxvn::barcode {
namespace {

// Ink closer than a cell joins one patch.
constexpr uint32_t kCell = 4;
// A symbol's size in dots: 10 x 10 modules of one dot at least, 144 modules of three at most.
constexpr int32_t kLeast = 10;
constexpr int32_t kMost = 480;
// Data Matrix's rectangles are up to about six times as long as high.
constexpr int32_t kMostAspect = 7;
// The fewest dark modules along a clock track (a 10 x 10 symbol has 5).
constexpr int kClockRuns = 4;

bool Dark(const GrayView& page, int32_t x, int32_t y) {
  return page.At(static_cast<uint32_t>(x), static_cast<uint32_t>(y)) < 128;
}

// The share of dark dots along a line of the box, from (x, y) in steps (dx, dy), `n` dots.
bool Solid(const GrayView& page, int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t n) {
  int32_t dark = 0;
  for (int32_t i = 0; i < n; ++i) dark += Dark(page, x + i * dx, y + i * dy);
  return dark * 100 >= n * 85;
}

int DarkRuns(const GrayView& page, int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t n) {
  int runs = 0;
  bool previous = false;
  for (int32_t i = 0; i < n; ++i) {
    const bool dark = Dark(page, x + i * dx, y + i * dy);
    runs += dark && !previous;
    previous = dark;
  }
  return runs;
}

// A bull's eye along a line through the box's middle: the run at the middle and the three either
// side of it (the finder's inner rings, crossed twice) each within twice any other's width.
bool RingsAcross(const GrayView& page, int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t n) {
  std::vector<int32_t> runs;  // widths, in order
  int32_t middleRun = -1;
  bool previous = Dark(page, x, y);
  int32_t width = 0;
  for (int32_t i = 0; i < n; ++i) {
    const bool dark = Dark(page, x + i * dx, y + i * dy);
    if (dark != previous) {
      runs.push_back(width);
      width = 0;
      previous = dark;
    }
    if (i == n / 2) middleRun = static_cast<int32_t>(runs.size());
    ++width;
  }
  runs.push_back(width);
  if (middleRun < 3 || middleRun + 3 >= static_cast<int32_t>(runs.size())) return false;
  const auto [least, most] = std::minmax_element(runs.begin() + middleRun - 3, runs.begin() + middleRun + 4);
  return *most <= 2 * *least;
}

bool LooksLikeMatrix(const GrayView& page, const Box& b) {
  const int32_t w = b.Width(), h = b.Height();
  if (std::min(w, h) < kLeast || std::max(w, h) > kMost || std::max(w, h) > kMostAspect * std::min(w, h))
    return false;
  // Data Matrix: two adjacent edges solid (the finder), the other two alternating (the clock track).
  const bool left = Solid(page, b.left, b.top, 0, 1, h);
  const bool right = Solid(page, b.right - 1, b.top, 0, 1, h);
  const bool top = Solid(page, b.left, b.top, 1, 0, w);
  const bool bottom = Solid(page, b.left, b.bottom - 1, 1, 0, w);
  auto clocked = [&](bool side, int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t n) {
    return !side && DarkRuns(page, x, y, dx, dy, n) >= kClockRuns;
  };
  const bool clockLeft = clocked(left, b.left, b.top, 0, 1, h);
  const bool clockRight = clocked(right, b.right - 1, b.top, 0, 1, h);
  const bool clockTop = clocked(top, b.left, b.top, 1, 0, w);
  const bool clockBottom = clocked(bottom, b.left, b.bottom - 1, 1, 0, w);
  if (((left && clockRight) || (right && clockLeft)) && ((top && clockBottom) || (bottom && clockTop)))
    return true;
  // Aztec: rings of even width about its middle, both ways.
  return RingsAcross(page, b.left, b.top + h / 2, 1, 0, w) &&
         RingsAcross(page, b.left + w / 2, b.top, 0, 1, h);
}

}  // namespace

std::vector<Box> FindMatrixCandidates(const GrayView& page) {
  const uint32_t columns = (page.width + kCell - 1) / kCell;
  const uint32_t rows = (page.height + kCell - 1) / kCell;
  std::vector<uint8_t> inked(size_t{columns} * rows, 0);
  const uint32_t wholeCells = page.width / kCell;
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* row = page.pixels + y * page.stride;
    uint8_t* cells = &inked[size_t{y / kCell} * columns];
    // Without a branch a dot, so that the compiler takes many cells at once.
    static_assert(kCell == 4, "a cell's dots in a row are taken four at once");
    for (uint32_t c = 0; c < wholeCells; ++c) {
      const uint8_t* dots = row + c * kCell;
      const uint8_t darkest = std::min(std::min(dots[0], dots[1]), std::min(dots[2], dots[3]));
      cells[c] |= darkest < 128;
    }
    for (uint32_t x = wholeCells * kCell; x < page.width; ++x) cells[wholeCells] |= row[x] < 128;
  }
  // Patches of inked cells touching at a side or a corner, each cleared as it is measured.
  std::vector<Box> found;
  std::vector<uint32_t> stack;
  for (uint32_t start = 0; start < inked.size(); ++start) {
    if (!inked[start]) continue;
    inked[start] = 0;
    stack.assign(1, start);
    uint32_t left = columns, top = rows, right = 0, bottom = 0;
    while (!stack.empty()) {
      const uint32_t cell = stack.back();
      stack.pop_back();
      const uint32_t cx = cell % columns, cy = cell / columns;
      left = std::min(left, cx), right = std::max(right, cx);
      top = std::min(top, cy), bottom = std::max(bottom, cy);
      for (uint32_t ny = cy > 0 ? cy - 1 : 0; ny <= std::min(cy + 1, rows - 1); ++ny)
        for (uint32_t nx = cx > 0 ? cx - 1 : 0; nx <= std::min(cx + 1, columns - 1); ++nx) {
          const uint32_t next = ny * columns + nx;
          if (!inked[next]) continue;
          inked[next] = 0;
          stack.push_back(next);
        }
    }
    const int64_t cellsWide = right - left + 1, cellsHigh = bottom - top + 1;
    if (std::max(cellsWide, cellsHigh) * kCell > kMost + kCell ||
        std::min(cellsWide, cellsHigh) * kCell < kLeast)
      continue;
    // The ink in the patch's cells, to the dot: its first and last cell columns and rows hold some
    // of it, so each edge is found within them.
    const int32_t x0 = static_cast<int32_t>(left * kCell), y0 = static_cast<int32_t>(top * kCell);
    const int32_t x1 = static_cast<int32_t>(std::min(page.width, (right + 1) * kCell));
    const int32_t y1 = static_cast<int32_t>(std::min(page.height, (bottom + 1) * kCell));
    const int32_t lastColumn = static_cast<int32_t>(right * kCell),
                  lastRow = static_cast<int32_t>(bottom * kCell);
    const int32_t firstColumnEnd = std::min<int32_t>(x0 + kCell, x1),
                  firstRowEnd = std::min<int32_t>(y0 + kCell, y1);
    Box box{x1, y1, x0, y0};
    for (int32_t y = y0; y < y1; ++y) {
      for (int32_t x = x0; x < firstColumnEnd; ++x)
        if (Dark(page, x, y)) box.left = std::min(box.left, x);
      for (int32_t x = lastColumn; x < x1; ++x)
        if (Dark(page, x, y)) box.right = std::max(box.right, x + 1);
    }
    for (int32_t x = x0; x < x1; ++x) {
      for (int32_t y = y0; y < firstRowEnd; ++y)
        if (Dark(page, x, y)) box.top = std::min(box.top, y);
      for (int32_t y = lastRow; y < y1; ++y)
        if (Dark(page, x, y)) box.bottom = std::max(box.bottom, y + 1);
    }
    if (box.right > box.left && LooksLikeMatrix(page, box)) found.push_back(box);
  }
  std::sort(found.begin(), found.end(), [](const Box& a, const Box& b) {
    return int64_t{a.Width()} * a.Height() > int64_t{b.Width()} * b.Height();
  });
  if (found.size() > kMostMatrixCandidates) found.resize(kMostMatrixCandidates);
  return found;
}

}  // namespace qxvn::barcode
