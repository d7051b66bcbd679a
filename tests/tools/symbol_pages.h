// Label pages holding one bar code each, drawn as a label program exports them: zint's modules
// as vectors at an X-dimension in millimetres, rendered anti-aliased at a resolution (each pixel
// the share of it the modules cover), centred on a 48 x 76 mm label, turned a quarter when too
// long to lie across it (or on a page of another size).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/tools/layout_samples.h"

namespace qxtest {

struct SymbolSpec {
  int symbology = 0;  // zint's BARCODE_ number
  std::string data;   // GS1 data with [AI] brackets
  bool gs1 = false;
};

// One symbol of the table every printing path is checked with.
struct SymbolCase {
  std::string name;  // as ZXing names its format
  SymbolSpec spec;
  std::string zbarType;  // empty: zbar does not read it
};
// Code 128, GS1-128, EAN-13, ITF-14, Code 39 (without a check character), Code 93, QR Code,
// DataMatrix, PDF417 and Aztec.
const std::vector<SymbolCase>& Symbols();

// The table: each symbol drawn at 203, 240, 300 and 600 dpi with X 0.19, 0.25 and 0.33 mm, a
// PNG label page each in `folder`.
struct TableCase {
  const SymbolCase* symbol;
  double dpi;
  double x;
  std::string file;
};
std::vector<TableCase> WriteSymbolTable(const std::string& folder);

inline constexpr const char* kZxingReader = "/usr/bin/ZXingReader";
// What ZXing reads in each file: "FORMAT TEXT" by file name.
std::map<std::string, std::string> ZxingRead(const std::vector<std::string>& files);
// A scanner aimed at a label's only symbol: `label` cut to a window with its ink at the centre and
// as much white around it as the ink is large (a PNG beside it, whose name is returned). The
// reader's 2D detectors start from the middle of the picture.
std::string AimedAtInk(const std::string& label);
// A shell command's standard output.
std::string Shell(const std::string& command);

// Fails the test when zint refuses the data.
GrayImage SymbolPage(const SymbolSpec& symbol, double dpi, double xMillimetres, double widthMm = 48,
                     double heightMm = 76);

}  // namespace qxtest
