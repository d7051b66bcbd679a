#include "common/barcode/symbol_reader.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <cstring>
#include <exception>

#include "common/barcode/bar_runs.h"
#include "common/barcode/helper_thread.h"
#include "common/barcode/matrix_candidates.h"

namespace qxvn::barcode {
namespace {

constexpr ZXing::BarcodeFormats kFormats =
    ZXing::BarcodeFormat::Code128 | ZXing::BarcodeFormat::EAN13 | ZXing::BarcodeFormat::EAN8 |
    ZXing::BarcodeFormat::UPCA | ZXing::BarcodeFormat::UPCE | ZXing::BarcodeFormat::ITF |
    ZXing::BarcodeFormat::Code39 | ZXing::BarcodeFormat::Code93 | ZXing::BarcodeFormat::QRCode |
    ZXing::BarcodeFormat::DataMatrix | ZXing::BarcodeFormat::PDF417 | ZXing::BarcodeFormat::Aztec;
constexpr ZXing::BarcodeFormats kLinearFormats =
    kFormats & ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes);
constexpr ZXing::BarcodeFormats kMatrixFormats = ZXing::BarcodeFormat::QRCode |
                                                 ZXing::BarcodeFormat::DataMatrix |
                                                 ZXing::BarcodeFormat::PDF417 | ZXing::BarcodeFormat::Aztec;

// Lines either side of the columns that hold bars, so that the reader has rows to confirm a symbol
// by and the bars' ends inside.
constexpr uint32_t kBandMargin = 8;

// The least margin around a symbol read on its own, and the largest window it is read from.
constexpr int64_t kNearMargin = 16;
constexpr int64_t kMostWindowPixels = 4'000'000;

// The reader's corners as a box of the image it read.
Box BoxOf(const ZXing::Position& position) {
  Box box{position[0].x, position[0].y, position[0].x, position[0].y};
  for (const ZXing::PointI& corner : position) {
    box.left = std::min(box.left, corner.x);
    box.top = std::min(box.top, corner.y);
    box.right = std::max(box.right, corner.x);
    box.bottom = std::max(box.bottom, corner.y);
  }
  ++box.right;
  ++box.bottom;
  return box;
}

// A box of the page's columns from `firstColumn` on turned a quarter clockwise (H high), whose
// (x, y) is the page's (firstColumn + y, H - 1 - x), as a box of the page.
Box TurnedBack(const Box& box, int32_t pageHeight, int32_t firstColumn) {
  return {firstColumn + box.top, pageHeight - box.right, firstColumn + box.bottom, pageHeight - box.left};
}

// Where the image a pass reads lies on the page: its rows from `firstRow` on, or, turned a quarter
// clockwise, its columns from `firstColumn` on.
struct PassPlace {
  bool turned = false;
  uint32_t firstColumn = 0;
  uint32_t firstRow = 0;
};

// Dark below mid-gray, as a printed page is; the reader's local threshold makes bars of
// anti-aliased edges less even than mid-gray does. The reader's own turned and downscaled
// passes are not used: Debian's build stops the process on an assertion when it merges a
// linear symbol found in two passes. The turned page is read as a page of its own, for linear
// symbols only (the 2D detectors find a symbol at any turn). `most`: the reader stops at that
// many symbols (0: reads every line it reads).
void ReadPass(const GrayView& page, ZXing::BarcodeFormats formats, bool thorough, const PassPlace& place,
              size_t most, std::vector<Symbol>& symbols) {
  const bool turned = place.turned;
  ZXing::ImageView image(page.pixels, static_cast<int>(page.width), static_cast<int>(page.height),
                         ZXing::ImageFormat::Lum, static_cast<int>(page.stride));
  ZXing::DecodeHints hints;
  hints.setFormats(turned ? ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes) & formats : formats);
  hints.setTryHarder(thorough);
  hints.setTryRotate(false);
  hints.setTryDownscale(false);
  hints.setBinarizer(ZXing::Binarizer::FixedThreshold);
  if (most > 0) hints.setMaxNumberOfSymbols(static_cast<uint8_t>(std::min<size_t>(most, 0xff)));
  const size_t before = symbols.size();
  for (const ZXing::Result& result : ZXing::ReadBarcodes(image, hints)) {
    if (!result.isValid()) continue;
    Symbol symbol;
    symbol.format = ZXing::ToString(result.format());
    symbol.symbologyId = result.symbologyIdentifier();
    symbol.text = result.text();
    symbol.bytes.assign(result.bytes().begin(), result.bytes().end());
    symbol.linear = ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes).testFlag(result.format());
    symbol.box = BoxOf(result.position());
    if (symbol.linear) symbol.box = AlongBars(page, symbol.box);
    // The turned page's width is the page's height.
    if (turned) {
      symbol.box =
          TurnedBack(symbol.box, static_cast<int32_t>(page.width), static_cast<int32_t>(place.firstColumn));
    } else {
      symbol.box.top += static_cast<int32_t>(place.firstRow);
      symbol.box.bottom += static_cast<int32_t>(place.firstRow);
    }
    symbol.orientation = (((result.orientation() - (turned ? 90 : 0)) % 360) + 360) % 360;
    symbol.ecLevel = result.ecLevel();
    const bool known = std::any_of(
        symbols.begin(), symbols.begin() + static_cast<std::ptrdiff_t>(before),
        [&symbol](const Symbol& other) { return other.SameData(symbol) && other.box.Overlaps(symbol.box); });
    if (!known) symbols.push_back(std::move(symbol));
  }
}

// The page's columns of `band` turned a quarter clockwise.
GrayImage Turned(const GrayView& page, const Band& band) {
  GrayImage turned(page.height, band.last - band.first);
  for (uint32_t y = 0; y < turned.height; ++y) {
    uint8_t* row = turned.Row(y);
    for (uint32_t x = 0; x < turned.width; ++x) row[x] = page.At(band.first + y, page.height - 1 - x);
  }
  return turned;
}

// The page's rows of `band`.
GrayView RowsOf(const GrayView& page, const Band& band) {
  return {page.pixels + band.first * page.stride, page.width, band.last - band.first, page.stride};
}

// Rows that cross no bars hold no symbol the upright pass can read; columns that cross no bars,
// no symbol the turned pass can. `thorough`: every line of the page, else a few across it; every
// line of the row bands only, for linear symbols.
void ReadLines(const GrayView& page, const BarLines& lines, ZXing::BarcodeFormats formats, bool thorough,
               size_t most, std::vector<Symbol>& symbols) {
  if (thorough && (formats & kMatrixFormats).empty()) {
    for (const Band& band : lines.rowBands)
      ReadPass(RowsOf(page, band), formats, thorough, {.firstRow = band.first}, most, symbols);
  } else if (lines.rowsWithMatrixBars) {
    ReadPass(page, formats, thorough, {}, most, symbols);
  }
  if (!(formats & ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes)).empty())
    for (const Band& band : lines.columnBands)
      ReadPass(Turned(page, band).View(), formats, thorough, {.turned = true, .firstColumn = band.first},
               most, symbols);
}

// The page with the bars of `symbols` (read upright) whitened.
GrayImage WithoutBarsOf(const GrayView& page, const std::vector<Symbol>& symbols) {
  GrayImage copy(page.width, page.height);
  for (uint32_t y = 0; y < page.height; ++y)
    std::memcpy(copy.Row(y), page.pixels + y * page.stride, page.width);
  for (const Symbol& symbol : symbols) {
    // A dot either side for the anti-aliased edges of the first and last bars.
    const int32_t left = std::max(symbol.box.left - 2, 0);
    const int32_t right = std::min(symbol.box.right + 2, static_cast<int32_t>(page.width));
    for (int32_t y = std::max(symbol.box.top - 1, 0);
         y < std::min(symbol.box.bottom + 1, static_cast<int32_t>(page.height)); ++y)
      if (left < right)
        std::memset(copy.Row(static_cast<uint32_t>(y)) + left, 255, static_cast<size_t>(right - left));
  }
  return copy;
}

// What `read` finds in the part of the page within `margin` of `box` (on white where that passes
// the page's edge), placed on the page.
template <typename Read>
std::vector<Symbol> ReadWindow(const GrayView& page, const Box& box, int64_t margin, const Read& read) {
  if (box.Width() <= 0 || box.Height() <= 0) return {};
  const int64_t width = box.Width() + 2 * margin;
  const int64_t height = box.Height() + 2 * margin;
  if (width * height > kMostWindowPixels) return {};
  const int64_t left = box.left - margin;
  const int64_t top = box.top - margin;
  GrayImage window(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  for (int64_t y = std::max<int64_t>(top, 0); y < std::min<int64_t>(top + height, page.height); ++y) {
    const int64_t from = std::max<int64_t>(left, 0);
    const int64_t to = std::min<int64_t>(left + width, page.width);
    if (from >= to) break;
    std::memcpy(window.Row(static_cast<uint32_t>(y - top)) + (from - left),
                page.pixels + y * page.stride + from, static_cast<size_t>(to - from));
  }
  std::vector<Symbol> symbols = read(window.View());
  for (Symbol& symbol : symbols) {
    symbol.box.left += static_cast<int32_t>(left);
    symbol.box.right += static_cast<int32_t>(left);
    symbol.box.top += static_cast<int32_t>(top);
    symbol.box.bottom += static_cast<int32_t>(top);
  }
  return symbols;
}

// The Data Matrix and Aztec symbols the whole page's pass did not find (not in `known`), read in
// windows centred on the places that look like one, the largest first, until the windows have
// covered as many pixels as the largest window may hold (a page of noise costs no more).
std::vector<Symbol> ReadMatrixCandidates(const GrayView& page, const std::vector<Symbol>& known) {
  const ZXing::BarcodeFormats formats = ZXing::BarcodeFormat::DataMatrix | ZXing::BarcodeFormat::Aztec;
  std::vector<Symbol> symbols;
  int64_t pixelsRead = 0;
  for (const Box& candidate : FindMatrixCandidates(page)) {
    auto overlaps = [&candidate](const Symbol& symbol) { return symbol.box.Overlaps(candidate); };
    if (std::any_of(known.begin(), known.end(), overlaps) ||
        std::any_of(symbols.begin(), symbols.end(), overlaps))
      continue;
    const int64_t margin = kNearMargin + std::max(candidate.Width(), candidate.Height()) / 2;
    pixelsRead += (candidate.Width() + 2 * margin) * (candidate.Height() + 2 * margin);
    if (pixelsRead > kMostWindowPixels) break;
    for (Symbol& symbol : ReadWindow(page, candidate, margin, [formats](const GrayView& window) {
           std::vector<Symbol> found;
           ReadPass(window, formats, true, {}, 0, found);
           return found;
         }))
      symbols.push_back(std::move(symbol));
  }
  return symbols;
}

// Every symbol of the page. Reading every line decodes a linear symbol again on each line that
// crosses it, most of a page's cost: those a few lines find are whitened out of that pass. The
// matrix formats are read on the helper thread meanwhile, on a second core where there is one.
std::vector<Symbol> FindAllSymbols(const GrayView& page, const BarLines& lines) {
  std::vector<Symbol> matrix, candidates;
  std::exception_ptr matrixFailure;
  auto readMatrix = [&] {
    try {
      ReadPass(page, kMatrixFormats, true, {}, 0, matrix);
      candidates = ReadMatrixCandidates(page, matrix);
    } catch (...) {
      matrixFailure = std::current_exception();
    }
  };
  HelperThread::Running matrixRead;
  if (lines.rowsWithMatrixBars) matrixRead = HelperThread::Start(readMatrix);
  std::vector<Symbol> symbols;
  GrayImage withoutFound;
  GrayView thoroughPage = page;
  BarLines thoroughLines = lines;
  if (lines.RowsWithLinearBars()) {
    ReadPass(page, kLinearFormats, false, {}, 0, symbols);
    if (!symbols.empty()) {
      withoutFound = WithoutBarsOf(page, symbols);
      thoroughPage = withoutFound.View();
      thoroughLines.rowBands = LinearRowBands(thoroughPage, kBandMargin);
    }
  }
  ReadLines(thoroughPage, thoroughLines, kLinearFormats, true, 0, symbols);
  matrixRead.Wait();
  if (matrixFailure) std::rethrow_exception(matrixFailure);
  for (std::vector<Symbol>* found : {&matrix, &candidates})
    symbols.insert(symbols.end(), std::make_move_iterator(found->begin()),
                   std::make_move_iterator(found->end()));
  return symbols;
}

}  // namespace

std::vector<Symbol> ReadSymbols(const GrayView& page, std::span<const Symbol> wanted) {
  if (page.width == 0 || page.height == 0) return {};
  ZXing::BarcodeFormats formats = wanted.empty() ? kFormats : ZXing::BarcodeFormats();
  for (const Symbol& symbol : wanted)
    formats |= ZXing::BarcodeFormats(ZXing::BarcodeFormatFromString(symbol.format)) & kFormats;
  if (formats.empty()) return {};
  const BarLines lines = FindBarLines(page, kBandMargin);
  if (wanted.empty()) return FindAllSymbols(page, lines);
  // Known symbols are looked for on a few lines first, as a scanner's lines cross them, the reader
  // stopping once it has as many; every line is read only when one of them is not found so.
  std::vector<Symbol> symbols;
  ReadLines(page, lines, formats, false, wanted.size(), symbols);
  const bool allFound = std::all_of(wanted.begin(), wanted.end(), [&symbols](const Symbol& symbol) {
    return std::any_of(symbols.begin(), symbols.end(),
                       [&symbol](const Symbol& read) { return read.SameData(symbol); });
  });
  if (allFound) return symbols;
  symbols.clear();
  ReadLines(page, lines, formats, true, 0, symbols);
  return symbols;
}

std::vector<Symbol> ReadSymbolsNear(const GrayView& page, const Box& box, std::span<const Symbol> wanted) {
  const int64_t margin = kNearMargin + std::max(box.Width(), box.Height()) / 10;
  return ReadWindow(page, box, margin,
                    [wanted](const GrayView& window) { return ReadSymbols(window, wanted); });
}

}  // namespace qxvn::barcode
