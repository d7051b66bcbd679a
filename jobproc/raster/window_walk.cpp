#include "jobproc/raster/window_walk.h"

namespace raster {
namespace {

constexpr size_t MAX_WORDS = MAX_DOTS / 64;
// Columns turned into lines together by a quarter-turn walk: each row is then read 64 pixels at
// a time instead of one, and the block's masks and lines stay in the first-level cache.
constexpr uint32_t BLOCK_COLUMNS = 64;

// Mask words hold dot i in bit i; a line holds it in bit 7 - i % 8 of byte i / 8.
uint64_t MsbFirstInBytes(uint64_t w) {
  w = ((w >> 1) & 0x5555555555555555u) | ((w & 0x5555555555555555u) << 1);
  w = ((w >> 2) & 0x3333333333333333u) | ((w & 0x3333333333333333u) << 2);
  return ((w >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((w & 0x0F0F0F0F0F0F0F0Fu) << 4);
}

uint64_t ByteSwap(uint64_t w) {
  w = ((w >> 8) & 0x00FF00FF00FF00FFu) | ((w & 0x00FF00FF00FF00FFu) << 8);
  w = ((w >> 16) & 0x0000FFFF0000FFFFu) | ((w & 0x0000FFFF0000FFFFu) << 16);
  return (w >> 32) | (w << 32);
}

uint64_t ReverseBits(uint64_t w) { return ByteSwap(MsbFirstInBytes(w)); }

// Byte i of the word at `out` is bits 8 i to 8 i + 7, whatever the CPU's byte order.
void StoreBytes(uint8_t* out, uint64_t w) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(w >> (8 * i));
}

uint64_t LoadBytes(const uint8_t* in) {
  uint64_t w = 0;
  for (int i = 0; i < 8; ++i) w |= static_cast<uint64_t>(in[i]) << (8 * i);
  return w;
}

// Transposes the 8 x 8 bit matrix whose row r is byte r: bit 8 r + c moves to bit 8 c + r.
uint64_t Transpose8x8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAu;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCu;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0u;
  return x ^ t ^ (t << 28);
}

// Dots `dots` - 1 down to 0 of `forward` as dots 0 up: reverse the words' order and bits, then
// shift out the zero bits that stood past the last dot.
void ReverseDots(const uint64_t* forward, size_t words, uint32_t dots, uint64_t* reversed) {
  for (size_t j = 0; j < words; ++j) reversed[j] = ReverseBits(forward[words - 1 - j]);
  const uint32_t pad = static_cast<uint32_t>(64 * words - dots);
  if (pad == 0) return;
  for (size_t j = 0; j < words; ++j)
    reversed[j] = (reversed[j] >> pad) | (j + 1 < words ? reversed[j + 1] << (64 - pad) : 0);
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
  uint64_t forward[MAX_WORDS];
  uint64_t reversed[MAX_WORDS];
  uint8_t line[MAX_LINE_BYTES];
  for (uint32_t n = 0; n < w.rows; ++n) {
    const uint32_t row = backwards ? w.rows - 1 - n : n;
    walk.mask(w.topLeft + row * w.stride, 0, 1, dots, walk.limit, forward, words);
    const uint64_t* bits = forward;
    if (backwards) {
      ReverseDots(forward, words, dots, reversed);
      bits = reversed;
    }
    for (size_t j = 0; j < words; ++j) StoreBytes(line + 8 * j, MsbFirstInBytes(bits[j]));
    if (!walk.sink(walk.context, line, (dots + 7) / 8)) return false;
  }
  return true;
}

// Rotations 1 and 3: each column is a line. A block of columns is thresholded row by row, then
// its masks are transposed eight rows by eight columns at a time into the block's lines.
bool WalkColumns(const Walk& walk, bool rightToLeft) {
  const Window& w = walk.window;
  const uint32_t dots = w.rows < MAX_DOTS ? w.rows : MAX_DOTS;
  const uint32_t lineBytes = (dots + 7) / 8;
  // Dot k of every line is row dots - 1 - k for rotation 1 (bottom up), row k for rotation 3.
  const uint8_t* const firstDotRow = rightToLeft ? w.topLeft : w.topLeft + (dots ? dots - 1 : 0) * w.stride;
  const ptrdiff_t dotStep =
      rightToLeft ? static_cast<ptrdiff_t>(w.stride) : -static_cast<ptrdiff_t>(w.stride);

  uint64_t masks[MAX_DOTS];
  // planes[c][8 g + 7 - r] is byte c of masks[8 g + r]: eight dots of eight columns, loaded as one
  // word with the dots in the order the transpose turns into a line's bit order.
  uint8_t planes[BLOCK_COLUMNS / 8][MAX_DOTS];
  uint8_t lines[BLOCK_COLUMNS][MAX_LINE_BYTES];

  for (uint32_t done = 0; done < w.columns; done += BLOCK_COLUMNS) {
    const uint32_t n = w.columns - done < BLOCK_COLUMNS ? w.columns - done : BLOCK_COLUMNS;
    const uint32_t firstColumn = rightToLeft ? w.columns - done - n : done;
    walk.mask(firstDotRow + size_t{firstColumn} * w.bytesPerPixel, dotStep, dots, n, walk.limit, masks, 1);

    const uint32_t planeCount = (n + 7) / 8;
    for (uint32_t k = 0; k < dots; ++k)
      for (uint32_t c = 0; c < planeCount; ++c) planes[c][k ^ 7] = static_cast<uint8_t>(masks[k] >> (8 * c));
    for (uint32_t k = dots; k < 8 * lineBytes; ++k)
      for (uint32_t c = 0; c < planeCount; ++c) planes[c][k ^ 7] = 0;

    for (uint32_t c = 0; c < planeCount; ++c)
      for (uint32_t g = 0; g < lineBytes; ++g) {
        const uint64_t columns = Transpose8x8(LoadBytes(&planes[c][8 * g]));
        for (uint32_t j = 0; j < 8; ++j) lines[8 * c + j][g] = static_cast<uint8_t>(columns >> (8 * j));
      }

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
