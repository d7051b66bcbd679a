// The bar code grade and the GS1 parser on arbitrary widths and bytes, and the scan of a
// printed page of arbitrary dots (a grade or nothing) and the rows its bars span: never a read
// out of bounds.
#include <string_view>
#include <vector>

#include "common/barcode/bar_runs.h"
#include "common/barcode/linear_grade.h"
#include "common/barcode/page_check.h"
#include "common/barcode/symbol_encoder.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qxvn::barcode;
  qxfuzz::FuzzInput input(data, size);
  static constexpr std::string_view kFormats[] = {"Code128", "Code93", "EAN-13", "UPC-A",
                                                  "EAN-8",   "UPC-E",  "Code39", "ITF"};
  const std::string_view format = kFormats[input.Take<uint8_t>() % 8];
  Scan scan;
  scan.leftQuiet = input.Take<uint8_t>();
  scan.rightQuiet = input.Take<uint8_t>();
  std::vector<uint32_t> widths;
  const size_t count = input.Take<uint8_t>();
  for (size_t i = 0; i < count && input.Left(); ++i) widths.push_back(input.Take<uint8_t>());
  scan.elements = widths;
  const ScanGrade scans[] = {GradeScan(scan, *LinearRuleFor(format))};
  CombineScans(scans, 300);

  // A small page of dots and a symbol box anywhere on or off it.
  const uint32_t width = input.Take<uint8_t>() % 64 + 1, height = input.Take<uint8_t>() % 64 + 1;
  Symbol symbol;
  symbol.format = std::string(format);
  symbol.linear = true;
  symbol.orientation = 90 * (input.Take<uint8_t>() % 4);
  symbol.box = {input.Take<int8_t>(), input.Take<int8_t>(), input.Take<int8_t>(), input.Take<int8_t>()};
  GrayImage dots(width, height);
  for (uint8_t& dot : dots.pixels) dot = input.Left() && input.Take<uint8_t>() % 2 ? 0 : 255;
  GradePrinted(dots.View(), symbol);
  AlongBars(dots.View(), symbol.box);

  Gs1Bracketed(input.Rest());
  return 0;
}
