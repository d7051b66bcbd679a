// Finds and decodes every symbol of the supported formats in a gray page: Code 128 (GS1-128),
// EAN/UPC, ITF, Code 39, Code 93, QR Code, Data Matrix, PDF417 and Aztec, in any of the four
// quarter turns.
#pragma once

#include <vector>

#include "common/barcode/gray_image.h"
#include "common/barcode/symbol.h"

namespace qxvn::barcode {

std::vector<Symbol> ReadSymbols(const GrayView& page);

}  // namespace qxvn::barcode
