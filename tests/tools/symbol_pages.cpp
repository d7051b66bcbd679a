#include "tests/tools/symbol_pages.h"

#include <gtest/gtest.h>
#include <zint.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace qxtest {

GrayImage SymbolPage(const SymbolSpec& spec, double dpi, double xMillimetres, double widthMm,
                     double heightMm) {
  std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> z(ZBarcode_Create(), ZBarcode_Delete);
  z->symbology = spec.symbology;
  z->input_mode = spec.gs1 ? GS1_MODE : DATA_MODE;
  const int error = ZBarcode_Encode(z.get(), reinterpret_cast<const unsigned char*>(spec.data.data()),
                                    static_cast<int>(spec.data.size()));
  EXPECT_LT(error, ZINT_ERROR) << z->errtxt;
  const double x = xMillimetres / 25.4 * dpi;  // pixels a module
  const bool linear = z->rows == 1;
  // Rows in modules: a linear symbol 12 mm high, PDF417's rows as zint sizes them.
  std::vector<double> rowTop{0};
  for (int row = 0; row < z->rows; ++row) {
    const double height =
        linear ? 12 / xMillimetres : (z->row_height[row] > 0 ? z->row_height[row] : z->height / z->rows);
    rowTop.push_back(rowTop.back() + height);
  }
  const double width = z->width * x, height = rowTop.back() * x;
  const auto labelWidth = static_cast<uint32_t>(std::lround(widthMm / 25.4 * dpi));
  const auto labelHeight = static_cast<uint32_t>(std::lround(heightMm / 25.4 * dpi));
  // Too long across the label with 10 modules of quiet zone a side: along it, bars across.
  const bool turned = width + 20 * x > labelWidth;
  const double left = ((turned ? labelHeight : labelWidth) - width) / 2;
  const double top = ((turned ? labelWidth : labelHeight) - height) / 2;
  std::vector<double> ink(size_t{labelWidth} * labelHeight, 0);
  auto cover = [&](double u0, double u1, double v0, double v1) {
    for (auto v = static_cast<int64_t>(std::floor(v0)); v < std::ceil(v1); ++v) {
      const double dv = std::min<double>(v + 1, v1) - std::max<double>(v, v0);
      for (auto u = static_cast<int64_t>(std::floor(u0)); u < std::ceil(u1); ++u) {
        const double du = std::min<double>(u + 1, u1) - std::max<double>(u, u0);
        // Turned a quarter clockwise: u runs down the label, v from its right edge.
        const int64_t px = turned ? labelWidth - 1 - v : u, py = turned ? u : v;
        if (px < 0 || py < 0 || px >= labelWidth || py >= labelHeight) continue;
        ink[static_cast<size_t>(py) * labelWidth + static_cast<size_t>(px)] += du * dv;
      }
    }
  };
  for (int row = 0; row < z->rows; ++row)
    for (int column = 0; column < z->width; ++column)
      if ((z->encoded_data[row][column >> 3] >> (column & 7)) & 1)
        cover(left + column * x, left + (column + 1) * x, top + rowTop[row] * x, top + rowTop[row + 1] * x);
  GrayImage page = WhiteImage(labelWidth, labelHeight);
  for (size_t i = 0; i < ink.size(); ++i)
    page.pixels[i] = static_cast<uint8_t>(std::lround(255 * (1 - std::min(ink[i], 1.0))));
  return page;
}

}  // namespace qxtest
