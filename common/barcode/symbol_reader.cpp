#include "common/barcode/symbol_reader.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>

namespace qxvn::barcode {
namespace {

constexpr ZXing::BarcodeFormats kFormats =
    ZXing::BarcodeFormat::Code128 | ZXing::BarcodeFormat::EAN13 | ZXing::BarcodeFormat::EAN8 |
    ZXing::BarcodeFormat::UPCA | ZXing::BarcodeFormat::UPCE | ZXing::BarcodeFormat::ITF |
    ZXing::BarcodeFormat::Code39 | ZXing::BarcodeFormat::Code93 | ZXing::BarcodeFormat::QRCode |
    ZXing::BarcodeFormat::DataMatrix | ZXing::BarcodeFormat::PDF417 | ZXing::BarcodeFormat::Aztec;

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

// Dark below mid-gray, as a printed page is; the reader's local threshold makes bars of
// anti-aliased edges less even than mid-gray does.
void ReadPass(const ZXing::ImageView& image, std::vector<Symbol>& symbols) {
  ZXing::DecodeHints hints;
  hints.setFormats(kFormats);
  hints.setTryHarder(true);
  hints.setTryRotate(true);
  hints.setBinarizer(ZXing::Binarizer::FixedThreshold);
  for (const ZXing::Result& result : ZXing::ReadBarcodes(image, hints)) {
    if (!result.isValid()) continue;
    Symbol symbol;
    symbol.format = ZXing::ToString(result.format());
    symbol.symbologyId = result.symbologyIdentifier();
    symbol.text = result.text();
    symbol.bytes.assign(result.bytes().begin(), result.bytes().end());
    symbol.box = BoxOf(result.position());
    symbol.orientation = ((result.orientation() % 360) + 360) % 360;
    symbol.linear = ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes).testFlag(result.format());
    symbol.ecLevel = result.ecLevel();
    symbols.push_back(std::move(symbol));
  }
}

}  // namespace

std::vector<Symbol> ReadSymbols(const GrayView& page) {
  std::vector<Symbol> symbols;
  if (page.width == 0 || page.height == 0) return symbols;
  ZXing::ImageView image(page.pixels, static_cast<int>(page.width), static_cast<int>(page.height),
                         ZXing::ImageFormat::Lum, static_cast<int>(page.stride));
  ReadPass(image, symbols);
  return symbols;
}

}  // namespace qxvn::barcode
