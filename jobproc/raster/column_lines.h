// The transpose at the heart of a quarter-turn walk: masks of a block of columns, one word per
// dot, into one printer line per column.
#pragma once

#include <cstdint>

#include "jobproc/raster/window_walk.h"

namespace raster {

constexpr uint32_t BLOCK_COLUMNS = 64;
using BlockLines = uint8_t[BLOCK_COLUMNS][MAX_LINE_BYTES];

// Words of masks a block needs for `dots` dots: a whole number of 16-dot groups.
constexpr uint32_t BlockMaskWords(uint32_t dots) { return (dots + 15) / 16 * 16; }

// masks[k] holds dot k of each of the block's `columns` columns, column c in bit MaskBit(c);
// the words from `dots` up to BlockMaskWords(dots) are zero. Line c of `lines` gets dot k in bit
// 7 - k % 8 of byte k / 8, for its first (dots + 7) / 8 bytes.
void ColumnLinesPortable(const uint64_t* masks, uint32_t dots, uint32_t columns, BlockLines& lines);
#if defined(__SSE2__)
void ColumnLinesSse2(const uint64_t* masks, uint32_t dots, uint32_t columns, BlockLines& lines);
#endif

// The best of the above that every CPU of the target has.
inline void ColumnLines(const uint64_t* masks, uint32_t dots, uint32_t columns, BlockLines& lines) {
#if defined(__SSE2__)
  ColumnLinesSse2(masks, dots, columns, lines);
#else
  ColumnLinesPortable(masks, dots, columns, lines);
#endif
}

}  // namespace raster
