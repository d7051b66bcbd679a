#include "common/barcode/page_symbols.h"

#include <algorithm>
#include <cmath>

#include "common/barcode/linear_grade.h"
#include "common/barcode/symbol_reader.h"
#include "common/barcode/upright_frame.h"

namespace qxvn::barcode {
namespace {

Box ToBox(const DocumentArea& area) {
  return {static_cast<int32_t>(std::lround(area.left)), static_cast<int32_t>(std::lround(area.top)),
          static_cast<int32_t>(std::lround(area.right)), static_cast<int32_t>(std::lround(area.bottom))};
}

DocumentArea ToArea(const Box& box) {
  return {double(box.left), double(box.top), double(box.right), double(box.bottom)};
}

}  // namespace

std::vector<Box> Surroundings(const PageImage& page, const std::vector<Symbol>& symbols, uint8_t threshold) {
  std::vector<Box> boxes;
  if (symbols.empty()) return boxes;
  const GrayImage dots = Thresholded(LuminanceOf(page).View(), threshold);
  const GrayView view = dots.View();
  for (const Symbol& symbol : symbols) {
    const UprightFrame frame(symbol.orientation, page.width, page.height);
    Box up = frame.UprightBox(symbol.box);
    up = {std::max(up.left, 0), std::max(up.top, 0), std::min(up.right, frame.Width()),
          std::min(up.bottom, frame.Height())};
    if (up.Width() <= 0 || up.Height() <= 0) continue;
    const int32_t along = symbol.linear ? up.Width() / 10 + 2 : up.Width() / 5 + 2;
    int32_t top = up.top - along, bottom = up.bottom + along;
    if (symbol.linear) {
      // Lines above and below with dots only where the bars of the middle line are.
      const int32_t middle = (up.top + up.bottom - 1) / 2;
      auto dark = [&](int32_t u, int32_t v) {
        const Point p = frame.PagePoint(u, v);
        return view.At(static_cast<uint32_t>(p.x), static_cast<uint32_t>(p.y)) < 128;
      };
      auto bars = [&](int32_t v) {
        bool any = false;
        for (int32_t u = up.left; u < up.right; ++u) {
          const bool d = dark(u, v);
          if (d && !dark(u, middle)) return false;
          any = any || d;
        }
        return any;
      };
      top = up.top;
      bottom = up.bottom;
      while (top > 0 && bars(top - 1)) --top;
      while (bottom < frame.Height() && bars(bottom)) ++bottom;
      top -= 2;
      bottom += 2;
    }
    boxes.push_back(frame.PageBox({up.left - along, top, up.right + along, bottom}));
  }
  return boxes;
}

std::vector<DocumentArea> SymbolAreas(const PageImage& document, std::vector<Symbol>* found) {
  const GrayImage gray = LuminanceOf(document);
  std::vector<Symbol> symbols = ReadSymbols(gray.View());
  const GrayImage dots = symbols.empty() ? GrayImage() : Thresholded(gray.View(), 127);
  std::vector<DocumentArea> areas;
  for (const Symbol& symbol : symbols) {
    DocumentArea area = ToArea(symbol.box);
    const bool alongX = symbol.orientation % 180 < 45 || symbol.orientation % 180 > 135;
    const double length = alongX ? area.right - area.left : area.bottom - area.top;
    double before = 0, after = 0, across = 0;
    if (symbol.linear) {
      // The symbology's quiet zones in its own modules, else a tenth of its length.
      const LinearRule* rule = LinearRuleFor(symbol.format);
      const auto grade = GradePrinted(dots.View(), symbol, 1);
      const double x = grade && grade->xDots > 0 ? grade->xDots : 0;
      before = rule && x > 0 ? rule->leftQuietModules * x : length / 10;
      after = rule && x > 0 ? rule->rightQuietModules * x : length / 10;
      if (symbol.orientation >= 135 && symbol.orientation < 315) std::swap(before, after);
    } else {
      // A QR Code's four modules of the smallest version that is more than 21 across; a module
      // or two of the others.
      across = before = after = length * (symbol.format == "QRCode" ? 4.0 / 25 : 0.1);
    }
    if (alongX) {
      area = {area.left - before, area.top - across, area.right + after, area.bottom + across};
    } else {
      area = {area.left - across, area.top - before, area.right + across, area.bottom + after};
    }
    areas.push_back(area);
  }
  if (found) *found = std::move(symbols);
  return areas;
}

PreparedPage PreparePage(PageImage& page, RepairMode mode, uint8_t threshold, const LaidOutFrom* from,
                         const std::vector<Symbol>* fromSymbols) {
  PreparedPage prepared;
  if (uint64_t{page.width} * page.height > kMostCheckedPixels) {
    prepared.unchecked = true;
    return prepared;
  }
  const GrayImage luminance = LuminanceOf(page);
  // Laid out one pixel a dot without a turn, the image is the page: read once, here or for the
  // layout already.
  const bool sameAsPage = from && from->placement.quarterTurns == 0 &&
                          from->placement.width == from->page.width &&
                          from->placement.height == from->page.height;
  if (!sameAsPage || !fromSymbols) prepared.symbols = ReadSymbols(luminance.View());
  if (from && from->page.pixels && (!sameAsPage || fromSymbols)) {
    std::vector<Symbol> read;
    if (!fromSymbols) SymbolAreas(from->page, &read);
    for (Symbol symbol : fromSymbols ? *fromSymbols : read) {
      symbol.box = ToBox(OnLabel(ToArea(symbol.box), from->placement, from->page.width, from->page.height));
      symbol.orientation = (symbol.orientation + 90 * from->placement.quarterTurns) % 360;
      const Box box = symbol.box;
      // Cut off the label: nothing of it prints, and nothing of it can be checked.
      if (box.right <= 0 || box.bottom <= 0 || box.left >= static_cast<int32_t>(page.width) ||
          box.top >= static_cast<int32_t>(page.height))
        continue;
      const bool known =
          std::any_of(prepared.symbols.begin(), prepared.symbols.end(), [&symbol](const Symbol& other) {
            return other.SameData(symbol) && other.box.Overlaps(symbol.box);
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
