// Redraws a page's symbols to whole dots before the page is printed. A symbol whose modules fall
// between dots prints with bars a dot too wide or too narrow at random; drawn again with zint at
// a whole number of dots a module (the largest that fits its place with its quiet zones, at
// least 2), in the same place and turn, it prints as drawn. Only data that a check character or
// error correction protects is redrawn, and a redraw is kept only when the dots the plug-in's
// threshold will make of it read back with the same format and bytes and grade higher than the
// dots of the original; otherwise the original pixels stay. Nothing else on the page changes.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "common/barcode/gray_image.h"
#include "common/barcode/symbol.h"
#include "common/input/page_image.h"

namespace qxvn::barcode {

enum class RepairMode {
  kOff,
  kAuto,    // only symbols whose dots would not read or would grade below C
  kAlways,  // every protected symbol, kept where its dots grade higher
};

std::optional<RepairMode> RepairModeNamed(std::string_view name);
std::string_view NameOf(RepairMode mode);

// `symbols` were read from `luminance`, the luminance of `page` (3 or 4 bytes a pixel);
// `threshold` is the plug-in's. Returns, for each symbol, whether it was redrawn. Leaves
// `luminance` as it was.
std::vector<bool> RepairSymbols(PageImage& page, const GrayImage& luminance,
                                const std::vector<Symbol>& symbols, RepairMode mode, uint8_t threshold);

}  // namespace qxvn::barcode
