// Turns a window of a band into printer raster lines, rotated by the order of the walk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jobproc/raster/pixel_mask.h"

namespace raster {

// The printer's line: 576 dots, eight to a byte, the first dot in the top bit of byte 0.
constexpr uint32_t MAX_DOTS = 576;
constexpr uint32_t MAX_LINE_BYTES = MAX_DOTS / 8;

struct Window {
  const uint8_t* topLeft;  // first byte of the window's pixel in its first stored row
  size_t stride;           // bytes from one stored row to the next
  uint32_t bytesPerPixel;  // 3 or 4
  uint32_t columns;
  uint32_t rows;
};

// Takes one line of `bytes` bytes; the line's memory is reused once it returns. False stops the
// walk.
using LineSink = bool (*)(void* context, const uint8_t* line, uint32_t bytes);

// Hands the window's lines to `sink`, in the order of `rotation`:
//   0: rows top down, each from its first column to its last;
//   1: columns left to right, each from the bottom row up;
//   2: rows bottom up, each from its last column to its first;
//   3: columns right to left, each from the top row down.
// Other rotations walk as 0. A line has at most MAX_DOTS dots: the dots past them (columns for
// 0 and 2, rows for 1 and 3) are not read. A line is (dots + 7) / 8 bytes, its bits past the
// last dot zero. Returns false as soon as the sink refuses a line.
bool WalkWindow(const Window& window, uint32_t rotation, uint8_t threshold, const MaskKernel& kernel,
                LineSink sink, void* context);

}  // namespace raster
