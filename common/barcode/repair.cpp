#include "common/barcode/repair.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/barcode/linear_grade.h"
#include "common/barcode/page_check.h"
#include "common/barcode/symbol_encoder.h"
#include "common/barcode/symbol_reader.h"
#include "common/barcode/upright_frame.h"

namespace qxvn::barcode {
namespace {

// Pixels read back around a redrawn place, so that the reader sees its quiet zones.
constexpr int32_t kReadMargin = 16;
// PDF417 is tried with up to this many data columns to find the shape that fits its place best.
constexpr int kMostPdfColumns = 20;

struct NamedMode {
  std::string_view name;
  RepairMode mode;
};
constexpr NamedMode kModes[] = {
    {"off", RepairMode::kOff}, {"auto", RepairMode::kAuto}, {"always", RepairMode::kAlways}};

Box Clipped(const Box& box, const PageImage& page) {
  return {std::max(box.left, 0), std::max(box.top, 0), std::min(box.right, static_cast<int32_t>(page.width)),
          std::min(box.bottom, static_cast<int32_t>(page.height))};
}

Box Grown(const Box& box, int32_t by) {
  return {box.left - by, box.top - by, box.right + by, box.bottom + by};
}

// The dots the threshold makes of the page inside `box`.
GrayImage DotsOf(const PageImage& page, const Box& box, uint8_t threshold) {
  GrayImage dots(static_cast<uint32_t>(std::max(box.Width(), 0)),
                 static_cast<uint32_t>(std::max(box.Height(), 0)));
  for (int32_t y = box.top; y < box.bottom; ++y) {
    const uint8_t* in =
        page.Row(static_cast<uint32_t>(y)) + static_cast<size_t>(box.left) * page.bytesPerPixel;
    uint8_t* out = dots.Row(static_cast<uint32_t>(y - box.top));
    for (int32_t x = 0; x < box.Width(); ++x, in += page.bytesPerPixel)
      out[x] = PixelLuminance(in) <= threshold ? 0 : 255;
  }
  return dots;
}

// How well the dots inside `box` carry the symbol: -1 when they do not read as it, else 0 for
// a symbol not graded, or 1 + grade points (F 1 to A 5) for a linear one.
int ReadBackScore(const PageImage& page, const Box& box, const Symbol& wanted, uint8_t threshold) {
  const GrayImage dots = DotsOf(page, box, threshold);
  for (const Symbol& found : ReadSymbols(dots.View(), {&wanted, 1})) {
    if (!found.SameData(wanted)) continue;
    if (!found.linear) return 0;
    const auto grade = GradePrinted(dots.View(), found);
    return grade ? 5 - static_cast<int>(grade->grade) : 0;
  }
  return -1;
}

// A page rectangle kept aside, to put back when a redraw does not earn its place.
class SavedPixels {
 public:
  SavedPixels(const PageImage& page, const Box& box) : m_page(page), m_box(box) {
    const size_t rowBytes = static_cast<size_t>(box.Width()) * page.bytesPerPixel;
    m_pixels.resize(rowBytes * static_cast<size_t>(box.Height()));
    for (int32_t y = 0; y < box.Height(); ++y) std::memcpy(&m_pixels[rowBytes * y], Start(y), rowBytes);
  }
  void Restore() const {
    const size_t rowBytes = static_cast<size_t>(m_box.Width()) * m_page.bytesPerPixel;
    for (int32_t y = 0; y < m_box.Height(); ++y) std::memcpy(Start(y), &m_pixels[rowBytes * y], rowBytes);
  }

 private:
  uint8_t* Start(int32_t y) const {
    return m_page.Row(static_cast<uint32_t>(m_box.top + y)) +
           static_cast<size_t>(m_box.left) * m_page.bytesPerPixel;
  }
  const PageImage& m_page;
  Box m_box;
  std::vector<uint8_t> m_pixels;
};

void Paint(PageImage& page, const Point& p, uint8_t value) {
  uint8_t* pixel = page.Row(static_cast<uint32_t>(p.y)) + static_cast<size_t>(p.x) * page.bytesPerPixel;
  pixel[0] = pixel[1] = pixel[2] = value;
}

// Where a redrawn symbol goes, in its upright frame: its place (white first), its modules'
// top-left corner and the dots a module.
struct Drawing {
  Box place;
  int32_t u = 0;
  int32_t v = 0;
  int32_t dotsPerModule = 0;
};

void Draw(PageImage& page, const UprightFrame& frame, const ModuleMatrix& matrix, const Drawing& drawing,
          int32_t linearHeight) {
  for (int32_t v = drawing.place.top; v < drawing.place.bottom; ++v)
    for (int32_t u = drawing.place.left; u < drawing.place.right; ++u)
      Paint(page, frame.PagePoint(u, v), 255);
  const int32_t k = drawing.dotsPerModule;
  int32_t top = drawing.v;
  for (int row = 0; row < matrix.Rows(); ++row) {
    const int32_t height = linearHeight > 0 ? linearHeight : matrix.rowModules[static_cast<size_t>(row)] * k;
    for (int column = 0; column < matrix.width; ++column) {
      if (!matrix.Dark(column, row)) continue;
      for (int32_t v = std::max(top, drawing.place.top); v < std::min(top + height, drawing.place.bottom);
           ++v)
        for (int32_t u = std::max(drawing.u + column * k, drawing.place.left);
             u < std::min(drawing.u + (column + 1) * k, drawing.place.right); ++u)
          Paint(page, frame.PagePoint(u, v), 0);
    }
    top += height;
  }
}

// White dots from the edge of `box` outward on one side, up to `most`.
int32_t WhiteBeside(const GrayView& dots, const UprightFrame& frame, const Box& box, int side, int32_t most) {
  int32_t white = 0;
  for (; white < most; ++white) {
    const bool horizontal = side < 2;  // 0 left, 1 right, 2 top, 3 bottom
    const int32_t at = side == 0   ? box.left - 1 - white
                       : side == 1 ? box.right + white
                       : side == 2 ? box.top - 1 - white
                                   : box.bottom + white;
    if (at < 0 || at >= (horizontal ? frame.Width() : frame.Height())) break;
    bool clear = true;
    for (int32_t along = horizontal ? box.top : box.left;
         clear && along < (horizontal ? box.bottom : box.right); ++along) {
      const Point p = horizontal ? frame.PagePoint(at, along) : frame.PagePoint(along, at);
      clear = dots.At(static_cast<uint32_t>(p.x), static_cast<uint32_t>(p.y)) >= 128;
    }
    if (!clear) break;
  }
  return white;
}

double QuietModules2d(const std::string& format) {
  if (format == "QRCode") return 4;
  if (format == "PDF417") return 2;
  return 1;
}

// std::clamp, but an empty range gives its low end instead of undefined behaviour.
int32_t ClampInto(int32_t value, int32_t low, int32_t high) {
  return low > high ? low : std::clamp(value, low, high);
}

class Repairer {
 public:
  Repairer(PageImage& page, const GrayImage& luminance, RepairMode mode, uint8_t threshold)
      : m_page(page),
        m_mode(mode),
        m_threshold(threshold),
        m_dots(Thresholded(luminance.View(), threshold)) {}

  bool Repair(const Symbol& symbol) {
    if (std::abs(symbol.orientation - 90 * ((symbol.orientation + 45) / 90)) > 2) return false;
    // A symbol the label cuts (read in the document, laid out past the label's edge) has no
    // place of its own to be drawn in.
    const Box& box = symbol.box;
    if (box.left < 0 || box.top < 0 || box.right > static_cast<int32_t>(m_page.width) ||
        box.bottom > static_cast<int32_t>(m_page.height) || box.Width() <= 0 || box.Height() <= 0)
      return false;
    const UprightFrame frame(symbol.orientation, m_page.width, m_page.height);
    return symbol.linear ? RepairLinear(symbol, frame) : Repair2d(symbol, frame);
  }

 private:
  bool RepairLinear(const Symbol& symbol, const UprightFrame& frame) {
    const LinearRule* rule = LinearRuleFor(symbol.format);
    // Data without a check character is never drawn again (zint is not even asked).
    const auto matrix = EncodeAgain(symbol);
    if (!rule || !matrix) return false;
    const GrayView dots = m_dots.View();
    Box upright = frame.UprightBox(symbol.box);
    const int32_t middle = (upright.top + upright.bottom - 1) / 2;
    const auto scan = ScanAt(dots, frame, upright, middle);
    if (!scan) return false;
    const double sourceX = GradeScan({scan->elements, scan->leftQuiet, scan->rightQuiet}, *rule).xDots;
    // The bars' height: the lines above and below that scan the same.
    upright.left = scan->first;
    upright.right = scan->last + 1;
    auto same = [&](int32_t v) {
      const auto line = ScanAt(dots, frame, upright, v);
      return line && line->elements == scan->elements && line->first == scan->first &&
             line->last == scan->last;
    };
    int32_t top = middle, bottom = middle + 1;
    while (top > 0 && same(top - 1)) --top;
    while (bottom < frame.Height() && same(bottom)) ++bottom;
    // Then the bars' ends, anti-aliased into lines with fewer dots: dots only where the bars are.
    auto barEnd = [&](int32_t v) {
      bool any = false;
      for (int32_t u = upright.left; u < upright.right; ++u) {
        const Point p = frame.PagePoint(u, v), q = frame.PagePoint(u, middle);
        const bool dark = dots.At(static_cast<uint32_t>(p.x), static_cast<uint32_t>(p.y)) < 128;
        if (dark && dots.At(static_cast<uint32_t>(q.x), static_cast<uint32_t>(q.y)) >= 128) return false;
        any = any || dark;
      }
      return any;
    };
    while (top > 0 && barEnd(top - 1)) --top;
    while (bottom < frame.Height() && barEnd(bottom)) ++bottom;

    const Box placeBox{scan->first - static_cast<int32_t>(std::min<double>(
                                         scan->leftQuiet, std::ceil(rule->leftQuietModules * sourceX))),
                       top,
                       scan->last + 1 +
                           static_cast<int32_t>(std::min<double>(
                               scan->rightQuiet, std::ceil(rule->rightQuietModules * sourceX))),
                       bottom};
    if (!Wanted(symbol, frame.PageBox(placeBox))) return false;
    const double quiet = rule->leftQuietModules + rule->rightQuietModules;
    const auto k = static_cast<int32_t>(std::floor(placeBox.Width() / (matrix->width + quiet)));
    if (k < 2) return false;
    const int32_t length = matrix->width * k;
    Drawing drawing{placeBox, scan->first + (upright.Width() - length) / 2, top, k};
    drawing.u = ClampInto(drawing.u, placeBox.left + static_cast<int32_t>(rule->leftQuietModules) * k,
                          placeBox.right - static_cast<int32_t>(rule->rightQuietModules) * k - length);
    return DrawIfBetter(symbol, frame, *matrix, drawing, bottom - top);
  }

  bool Repair2d(const Symbol& symbol, const UprightFrame& frame) {
    const Box upright = frame.UprightBox(symbol.box);
    auto matrix = EncodeAgain(symbol);
    if (!matrix) return false;
    const double quiet = QuietModules2d(symbol.format);
    const double sourceX = static_cast<double>(upright.Width()) / matrix->width;
    const auto most = static_cast<int32_t>(std::ceil(quiet * sourceX));
    const GrayView dots = m_dots.View();
    const Box placeBox{upright.left - WhiteBeside(dots, frame, upright, 0, most),
                       upright.top - WhiteBeside(dots, frame, upright, 2, most),
                       upright.right + WhiteBeside(dots, frame, upright, 1, most),
                       upright.bottom + WhiteBeside(dots, frame, upright, 3, most)};
    if (!Wanted(symbol, frame.PageBox(placeBox))) return false;
    auto fit = [&](const ModuleMatrix& m) {
      return static_cast<int32_t>(std::floor(std::min(placeBox.Width() / (m.width + 2 * quiet),
                                                      placeBox.Height() / (m.HeightModules() + 2 * quiet))));
    };
    int32_t k = fit(*matrix);
    if (symbol.format == "PDF417") {
      for (int columns = 1; columns <= kMostPdfColumns; ++columns) {
        auto shaped = EncodeAgain(symbol, columns);
        if (shaped && fit(*shaped) > k) {
          k = fit(*shaped);
          matrix = std::move(shaped);
        }
      }
    }
    if (k < 2) return false;
    const int32_t width = matrix->width * k, height = matrix->HeightModules() * k;
    const auto q = static_cast<int32_t>(quiet) * k;
    Drawing drawing{placeBox, upright.left + (upright.Width() - width) / 2,
                    upright.top + (upright.Height() - height) / 2, k};
    drawing.u = ClampInto(drawing.u, placeBox.left + q, placeBox.right - q - width);
    drawing.v = ClampInto(drawing.v, placeBox.top + q, placeBox.bottom - q - height);
    return DrawIfBetter(symbol, frame, *matrix, drawing, 0);
  }

  // Whether the mode asks for the symbol to be redrawn: always, or in auto when its dots as they
  // stand would not read or would grade below C (bars of whole modules on average can still
  // print a dot too wide or too narrow each). Remembers how the original reads back.
  bool Wanted(const Symbol& symbol, const Box& place) {
    if (m_mode == RepairMode::kOff) return false;
    m_readBox = Clipped(Grown(place, kReadMargin), m_page);
    // A linear symbol whose dots grade C or better reads: auto leaves it without reading it back.
    if (m_mode == RepairMode::kAuto && symbol.linear) {
      const auto grade = GradePrinted(m_dots.View(), symbol);
      if (grade && grade->grade <= Grade::kC) return false;
    }
    m_originalScore = ReadBackScore(m_page, m_readBox, symbol, m_threshold);
    if (m_mode == RepairMode::kAlways) return true;
    // Grade C scores 3 (F 1, D 2); a 2D symbol that reads scores 0.
    return m_originalScore < 0 || (symbol.linear && m_originalScore < 3);
  }

  bool DrawIfBetter(const Symbol& symbol, const UprightFrame& frame, const ModuleMatrix& matrix,
                    const Drawing& drawing, int32_t linearHeight) {
    const Box pagePlace = frame.PageBox(drawing.place);
    if (Clipped(pagePlace, m_page).Width() != pagePlace.Width() ||
        Clipped(pagePlace, m_page).Height() != pagePlace.Height())
      return false;
    const SavedPixels original(m_page, pagePlace);
    Draw(m_page, frame, matrix, drawing, linearHeight);
    const int score = ReadBackScore(m_page, m_readBox, symbol, m_threshold);
    // A 2D symbol has no grade: reading at all, where the original would not, or in whole dots is the gain.
    const bool better =
        score >= 0 && (score > m_originalScore || (!symbol.linear && m_mode == RepairMode::kAlways));
    if (!better) original.Restore();
    return better;
  }

  PageImage& m_page;
  RepairMode m_mode;
  uint8_t m_threshold;
  GrayImage m_dots;
  Box m_readBox;
  int m_originalScore = -1;
};

}  // namespace

std::optional<RepairMode> RepairModeNamed(std::string_view name) {
  for (const NamedMode& named : kModes)
    if (named.name == name) return named.mode;
  return std::nullopt;
}

std::string_view NameOf(RepairMode mode) {
  for (const NamedMode& named : kModes)
    if (named.mode == mode) return named.name;
  return "auto";
}

std::vector<bool> RepairSymbols(PageImage& page, const GrayImage& luminance,
                                const std::vector<Symbol>& symbols, RepairMode mode, uint8_t threshold) {
  std::vector<bool> repaired(symbols.size(), false);
  if (mode == RepairMode::kOff || page.bytesPerPixel < 3) return repaired;
  Repairer repairer(page, luminance, mode, threshold);
  for (size_t i = 0; i < symbols.size(); ++i) repaired[i] = repairer.Repair(symbols[i]);
  return repaired;
}

}  // namespace qxvn::barcode
