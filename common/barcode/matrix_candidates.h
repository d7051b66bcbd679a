// Where a Data Matrix or Aztec symbol may lie on a gray page. The reader's detectors for those
// two start from the middle of the picture and find a symbol only across it, so a page is read
// again in windows centred on each such place: a patch of ink of a symbol's size (apart from
// other ink by a few dots) with two adjacent edges solid and the other two alternating, as a Data
// Matrix's finder and clock track are, or crossed both ways through its middle by rings of even
// width, as an Aztec bull's eye is.
#pragma once

#include <vector>

#include "common/barcode/gray_image.h"
#include "common/barcode/symbol.h"

namespace qxvn::barcode {

// At most kMostMatrixCandidates, the largest first.
inline constexpr size_t kMostMatrixCandidates = 32;
std::vector<Box> FindMatrixCandidates(const GrayView& page);

}  // namespace qxvn::barcode
