// Label pages holding one bar code each, drawn as a label program exports them: zint's modules
// as vectors at an X-dimension in millimetres, rendered anti-aliased at a resolution (each pixel
// the share of it the modules cover), centred on a 48 x 76 mm label, turned a quarter when too
// long to lie across it (or on a page of another size).
#pragma once

#include <string>

#include "tests/tools/layout_samples.h"

namespace qxtest {

struct SymbolSpec {
  int symbology = 0;  // zint's BARCODE_ number
  std::string data;   // GS1 data with [AI] brackets
  bool gs1 = false;
};

// Fails the test when zint refuses the data.
GrayImage SymbolPage(const SymbolSpec& symbol, double dpi, double xMillimetres, double widthMm = 48,
                     double heightMm = 76);

}  // namespace qxtest
