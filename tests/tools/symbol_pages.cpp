#include "tests/tools/symbol_pages.h"

#include <gtest/gtest.h>
#include <zint.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <regex>
#include <sstream>

namespace qxtest {

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// What a reader found in each file: `ZXingReader -1` lines are `FILE FORMAT "TEXT"`, zbarimg's
// `TYPE:TEXT` a file.
std::map<std::string, std::string> ZxingRead(const std::vector<std::string>& files) {
  // -noscale: its downscaled pass can stop the reader on an assertion for a large linear symbol.
  std::string command = std::string(kZxingReader) + " -1 -noscale";
  for (const std::string& file : files) command += " " + file;
  std::map<std::string, std::string> found;
  std::istringstream lines(Shell(command + " 2>/dev/null"));
  static const std::regex kLine(R"((\S+) (\S+) "(.*)\"$)");
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_match(line, m, kLine)) found[m[1]] = std::string(m[2]) + " " + std::string(m[3]);
  }
  return found;
}

std::string AimedAtInk(const std::string& label) {
  const GrayImage page = ReadGrayPng(label);
  uint32_t left = page.width, top = page.height, right = 0, bottom = 0;
  for (uint32_t y = 0; y < page.height; ++y)
    for (uint32_t x = 0; x < page.width; ++x)
      if (page.pixels[size_t{y} * page.width + x] < 128) {
        left = std::min(left, x), right = std::max(right, x + 1);
        top = std::min(top, y), bottom = std::max(bottom, y + 1);
      }
  if (right <= left) return label;
  const uint32_t margin = std::max(right - left, bottom - top) + 16;
  GrayImage window = WhiteImage(right - left + 2 * margin, bottom - top + 2 * margin);
  for (uint32_t y = top; y < bottom; ++y)
    for (uint32_t x = left; x < right; ++x)
      window.At(x - left + margin, y - top + margin) = page.pixels[size_t{y} * page.width + x];
  const std::string aimed = label.substr(0, label.rfind('.')) + "-aimed.png";
  WriteGrayPng(aimed, window, 300);
  return aimed;
}

namespace {

// Built case by case: GCC 12 at -O3 takes a braced table of these for one read uninitialised.
SymbolCase Case(const char* name, int symbology, const char* data, const char* zbarType, bool gs1 = false) {
  SymbolCase c;
  c.name = name;
  c.spec.symbology = symbology;
  c.spec.data = data;
  c.spec.gs1 = gs1;
  c.zbarType = zbarType;
  return c;
}

}  // namespace

const std::vector<SymbolCase>& Symbols() {
  static const std::vector<SymbolCase> kSymbols = [] {
    std::vector<SymbolCase> symbols;
    symbols.push_back(Case("Code128", 20, "QX-0042-GB", "CODE-128"));
    symbols.push_back(Case("GS1-128", 16, "[01]09501101530003[10]AB12", "", true));
    symbols.push_back(Case("EAN-13", 13, "590123412345", "EAN-13"));
    symbols.push_back(Case("ITF-14", 3, "12345678901231", "I2/5"));
    symbols.push_back(Case("Code39", 8, "LBL-42", "CODE-39"));  // no check character
    symbols.push_back(Case("Code93", 25, "QXVN93", "CODE-93"));
    symbols.push_back(Case("QRCode", 58, "https://example.com/t/1Z999AA1", "QR-Code"));
    symbols.push_back(Case("DataMatrix", 71, "QXVN-DM-0042", ""));
    symbols.push_back(Case("PDF417", 55, "QXVN PDF417 0042", ""));
    symbols.push_back(Case("Aztec", 92, "QXVN-AZTEC-0042", ""));
    return symbols;
  }();
  return kSymbols;
}

std::vector<TableCase> WriteSymbolTable(const std::string& folder) {
  std::vector<TableCase> cases;
  for (const SymbolCase& symbol : Symbols()) {
    for (double dpi : {203.0, 240.0, 300.0, 600.0}) {
      for (double x : {0.19, 0.25, 0.33}) {
        const std::string file = folder + "/" + symbol.name + "-" + std::to_string(int(dpi)) + "-" +
                                 std::to_string(int(x * 100)) + ".png";
        WriteGrayPng(file, SymbolPage(symbol.spec, dpi, x), dpi);
        cases.push_back({&symbol, dpi, x, file});
      }
    }
  }
  return cases;
}

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
