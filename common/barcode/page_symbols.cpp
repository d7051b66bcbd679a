#include "common/barcode/page_symbols.h"

#include <algorithm>
#include <cmath>

#include "common/barcode/symbol_reader.h"

namespace qxvn::barcode {

namespace {

bool Overlap(const Box& a, const Box& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

Box OnLabel(const Box& box, const Placement& placement, uint32_t imageWidth, uint32_t imageHeight) {
  const auto w = static_cast<double>(imageWidth), h = static_cast<double>(imageHeight);
  // The box's corners turned clockwise with the image, in its turned size.
  double x0 = box.left, y0 = box.top, x1 = box.right, y1 = box.bottom, turnedWidth = w, turnedHeight = h;
  switch (placement.quarterTurns) {
    case 1:
      x0 = h - box.bottom, x1 = h - box.top, y0 = box.left, y1 = box.right, turnedWidth = h, turnedHeight = w;
      break;
    case 2:
      x0 = w - box.right, x1 = w - box.left, y0 = h - box.bottom, y1 = h - box.top;
      break;
    case 3:
      x0 = box.top, x1 = box.bottom, y0 = w - box.right, y1 = w - box.left, turnedWidth = h, turnedHeight = w;
      break;
    default:
      break;
  }
  const double sx = placement.width / turnedWidth, sy = placement.height / turnedHeight;
  auto at = [](double v) { return static_cast<int32_t>(std::lround(v)); };
  return {at(static_cast<double>(placement.left) + x0 * sx), at(static_cast<double>(placement.top) + y0 * sy),
          at(static_cast<double>(placement.left) + x1 * sx),
          at(static_cast<double>(placement.top) + y1 * sy)};
}

PreparedPage PreparePage(PageImage& page, RepairMode mode, uint8_t threshold, const LaidOutFrom* from) {
  PreparedPage prepared;
  const GrayImage luminance = LuminanceOf(page);
  prepared.symbols = ReadSymbols(luminance.View());
  if (from) {
    for (Symbol symbol : ReadSymbols(LuminanceOf(from->page).View())) {
      symbol.box = OnLabel(symbol.box, from->placement, from->page.width, from->page.height);
      symbol.orientation = (symbol.orientation + 90 * from->placement.quarterTurns) % 360;
      const Box box = symbol.box;
      // Cut off the label: nothing of it prints, and nothing of it can be checked.
      if (box.right <= 0 || box.bottom <= 0 || box.left >= static_cast<int32_t>(page.width) ||
          box.top >= static_cast<int32_t>(page.height))
        continue;
      const bool known =
          std::any_of(prepared.symbols.begin(), prepared.symbols.end(), [&symbol](const Symbol& other) {
            return other.SameData(symbol) && Overlap(other.box, symbol.box);
          });
      if (!known) prepared.symbols.push_back(std::move(symbol));
    }
  }
  prepared.repaired = RepairSymbols(page, luminance, prepared.symbols, mode, threshold);
  return prepared;
}

PageCheck CheckPrinted(unsigned page, const PreparedPage& prepared, const GrayView& dots) {
  PageCheck check = CheckPage(page, prepared.symbols, dots);
  for (size_t i = 0; i < check.symbols.size() && i < prepared.repaired.size(); ++i)
    check.symbols[i].repaired = prepared.repaired[i];
  return check;
}

}  // namespace qxvn::barcode
