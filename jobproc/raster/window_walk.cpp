#include "jobproc/raster/window_walk.h"

#include "jobproc/raster/column_lines.h"

namespace raster {
namespace {

constexpr size_t MAX_WORDS = MAX_DOTS / 64;
constexpr size_t CACHE_LINE = 64;
// Rows ahead of the one being read whose bytes are asked for early: the hardware prefetcher
// does not follow a walk that jumps from row to row (backwards, too, for rotation 2).
constexpr uint32_t PREFETCH_ROWS = 2;
// Rows of a quarter-turn block thresholded between two rounds of prefetching.
constexpr uint32_t PREFETCH_RUN_ROWS = 8;

void Prefetch(const uint8_t* bytes, size_t count) {
#if defined(__GNUC__)
  for (size_t offset = 0; offset < count; offset += CACHE_LINE) __builtin_prefetch(bytes + offset);
#else
  (void)bytes, (void)count;
#endif
}

uint64_t ByteSwap(uint64_t w) {
  w = ((w >> 8) & 0x00FF00FF00FF00FFu) | ((w & 0x00FF00FF00FF00FFu) << 8);
  w = ((w >> 16) & 0x0000FFFF0000FFFFu) | ((w & 0x0000FFFF0000FFFFu) << 16);
  return (w >> 32) | (w << 32);
}

// Byte i of the word at `out` is bits 8 i to 8 i + 7, whatever the CPU's byte order.
void StoreBytes(uint8_t* out, uint64_t w) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(w >> (8 * i));
}

// The line of `dots` dots in `words` backwards. With dot i in bit i (its bit order undone), the
// words are reversed in order and bits, then the zero bits that stood past the last dot are
// shifted out.
void ReverseDots(uint64_t* words, size_t count, uint32_t dots) {
  uint64_t reversed[MAX_WORDS];
  // ByteSwap of a mask word is the whole reversal of the word in dot order.
  for (size_t j = 0; j < count; ++j) reversed[j] = ByteSwap(words[count - 1 - j]);
  const uint32_t pad = static_cast<uint32_t>(64 * count - dots);
  for (size_t j = 0; j < count; ++j) {
    uint64_t w = reversed[j];
    if (pad != 0) w = (w >> pad) | (j + 1 < count ? reversed[j + 1] << (64 - pad) : 0);
    words[j] = ReverseBitsInBytes(w);
  }
}

struct Walk {
  const Window& window;
  MaskRunsFn mask;
  uint32_t limit;
  LineSink sink;
  void* context;
};

// Rotations 0 and 2: each stored row is a line.
bool WalkRows(const Walk& walk, bool backwards) {
  const Window& w = walk.window;
  const uint32_t dots = w.columns < MAX_DOTS ? w.columns : MAX_DOTS;
  const size_t words = (dots + 63) / 64;
  const size_t rowBytes = size_t{dots} * w.bytesPerPixel;
  uint64_t bits[MAX_WORDS];
  uint8_t line[MAX_LINE_BYTES];
  for (uint32_t n = 0; n < w.rows; ++n) {
    const uint32_t row = backwards ? w.rows - 1 - n : n;
    if (n + PREFETCH_ROWS < w.rows)
      Prefetch(w.topLeft + (backwards ? row - PREFETCH_ROWS : row + PREFETCH_ROWS) * w.stride, rowBytes);
    walk.mask(w.topLeft + row * w.stride, 0, 1, dots, walk.limit, bits, words);
    if (backwards) ReverseDots(bits, words, dots);
    for (size_t j = 0; j < words; ++j) StoreBytes(line + 8 * j, bits[j]);
    if (!walk.sink(walk.context, line, (dots + 7) / 8)) return false;
  }
  return true;
}

// Rotations 1 and 3: each column is a line. A block of columns is thresholded row by row, then
// transposed into the block's lines.
bool WalkColumns(const Walk& walk, bool rightToLeft) {
  const Window& w = walk.window;
  const uint32_t dots = w.rows < MAX_DOTS ? w.rows : MAX_DOTS;
  const uint32_t lineBytes = (dots + 7) / 8;
  // Dot k of every line is row dots - 1 - k for rotation 1 (bottom up), row k for rotation 3.
  const uint8_t* const firstDotRow = rightToLeft ? w.topLeft : w.topLeft + (dots ? dots - 1 : 0) * w.stride;
  const ptrdiff_t dotStep =
      rightToLeft ? static_cast<ptrdiff_t>(w.stride) : -static_cast<ptrdiff_t>(w.stride);

  uint64_t masks[BlockMaskWords(MAX_DOTS)];
  for (uint32_t k = dots; k < BlockMaskWords(dots); ++k) masks[k] = 0;
  BlockLines lines;

  for (uint32_t done = 0; done < w.columns; done += BLOCK_COLUMNS) {
    const uint32_t n = w.columns - done < BLOCK_COLUMNS ? w.columns - done : BLOCK_COLUMNS;
    const uint32_t firstColumn = rightToLeft ? w.columns - done - n : done;
    const uint8_t* const first = firstDotRow + size_t{firstColumn} * w.bytesPerPixel;
    const size_t blockBytes = size_t{n} * w.bytesPerPixel;
    // A few rows at a time, asking for the next rows' pixels ahead: each row's share of a block
    // is too short for the hardware prefetcher to pick up.
    for (uint32_t k = 0; k < dots; k += PREFETCH_RUN_ROWS) {
      const uint32_t rows = dots - k < PREFETCH_RUN_ROWS ? dots - k : PREFETCH_RUN_ROWS;
      for (uint32_t ahead = k + PREFETCH_RUN_ROWS; ahead < k + 2 * PREFETCH_RUN_ROWS && ahead < dots; ++ahead)
        Prefetch(first + static_cast<ptrdiff_t>(ahead) * dotStep, blockBytes);
      walk.mask(first + static_cast<ptrdiff_t>(k) * dotStep, dotStep, rows, n, walk.limit, masks + k, 1);
    }
    ColumnLines(masks, dots, n, lines);
    for (uint32_t i = 0; i < n; ++i)
      if (!walk.sink(walk.context, lines[rightToLeft ? n - 1 - i : i], lineBytes)) return false;
  }
  return true;
}

}  // namespace

bool WalkWindow(const Window& window, uint32_t rotation, uint8_t threshold, const MaskKernel& kernel,
                LineSink sink, void* context) {
  const Walk walk{window, window.bytesPerPixel == 3 ? kernel.mask3 : kernel.mask4, PrintLimit(threshold),
                  sink, context};
  switch (rotation) {
    case 1:
      return WalkColumns(walk, false);
    case 2:
      return WalkRows(walk, true);
    case 3:
      return WalkColumns(walk, true);
    default:
      return WalkRows(walk, false);
  }
}

}  // namespace raster
