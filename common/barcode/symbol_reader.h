// Finds and decodes every symbol of the supported formats in a gray page: Code 128 (GS1-128),
// EAN/UPC, ITF, Code 39, Code 93, QR Code, Data Matrix, PDF417 and Aztec, in any of the four
// quarter turns.
#pragma once

#include <span>
#include <vector>

#include "common/barcode/gray_image.h"
#include "common/barcode/symbol.h"

namespace qxvn::barcode {

// With `wanted`, only the formats of those symbols are looked for: reading a page back for
// symbols already known costs a fraction of reading it for every format.
std::vector<Symbol> ReadSymbols(const GrayView& page, std::span<const Symbol> wanted = {});

// The symbols read from `box` and a little around it (a tenth of its size, and 16 dots), on white
// where that passes the page's edge: a symbol known to be there is read back at a fraction of the
// page's cost. The box is at the window's centre, where the reader's 2D detectors start: on a
// whole page they can miss a matrix symbol far from its centre that scans well.
std::vector<Symbol> ReadSymbolsNear(const GrayView& page, const Box& box,
                                    std::span<const Symbol> wanted = {});

}  // namespace qxvn::barcode
