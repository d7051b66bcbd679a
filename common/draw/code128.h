// Code 128 barcodes (code set B: printable ASCII) as module widths.
#pragma once

#include <string_view>
#include <vector>

namespace qxdraw {

// Alternating bar and space widths in modules, starting with a bar: start code B, the text,
// the check symbol and the stop pattern. Characters outside ASCII 32 to 126 are refused
// (empty result).
std::vector<int> Code128B(std::string_view text);

}  // namespace qxdraw
