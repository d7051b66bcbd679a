// Finds and decodes every symbol of the supported formats in a gray page: Code 128 (GS1-128),
// EAN/UPC, ITF, Code 39, Code 93, QR Code, Data Matrix, PDF417 and Aztec, in any of the four
// quarter turns.
#pragma once

#include <vector>

#include "common/barcode/gray_image.h"
#include "common/barcode/symbol.h"

namespace qxvn::barcode {

std::vector<Symbol> ReadSymbols(const GrayView& page);

// The symbols read as a scanner aimed at `box` reads them: from a white window with the box at
// its centre and as much white as the box is large around it, showing what of the page falls
// inside. The reader's 2D detectors start from the middle of the picture, so a matrix symbol far
// from a page's centre can be missed by ReadSymbols yet scan well; boxes are the page's.
std::vector<Symbol> ReadSymbolsAround(const GrayView& page, const Box& box);

}  // namespace qxvn::barcode
