// Encodes a symbol's data again with zint, as the modules of the same symbology: the
// redrawing half of the repair. Only data a check character or error correction protects is
// encoded, so that a misread can never be drawn as if it were the document's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/barcode/symbol.h"

namespace qxvn::barcode {

// Modules of an upright symbol, row by row; a linear symbol is one row.
struct ModuleMatrix {
  int width = 0;                // modules
  std::vector<int> rowModules;  // height of each row in modules (PDF417's rows are 3 high)
  std::vector<uint8_t> dark;    // width x rows, 1 for a dark module

  int Rows() const { return static_cast<int>(rowModules.size()); }
  int HeightModules() const;
  bool Dark(int column, int row) const { return dark[static_cast<size_t>(row) * width + column] != 0; }
};

// Whether the symbol's data carries a check character or error correction: Code 128, GS1-128,
// Code 93, EAN/UPC and the 2D symbologies always; ITF only as ITF-14 with a valid check digit;
// Code 39 only when its last character is a valid modulo-43 check of the others.
bool DataProtected(const Symbol& symbol);

// The GS1 element string of `bytes` (GS between fields) with each application identifier in
// brackets, "[01]09501101530003[10]AB"; nothing when it does not parse.
std::optional<std::string> Gs1Bracketed(const std::vector<uint8_t>& bytes);

// The symbol's data encoded again; `columns` asks PDF417 for that many data columns (0: zint's
// choice). Nothing for data that is not protected or that zint refuses.
std::optional<ModuleMatrix> EncodeAgain(const Symbol& symbol, int columns = 0);

}  // namespace qxvn::barcode
