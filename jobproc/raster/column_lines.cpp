#include "jobproc/raster/column_lines.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace raster {
namespace {

// Transposes the 8 x 8 bit matrix whose row r is byte r: bit 8 r + c moves to bit 8 c + r.
uint64_t Transpose8x8(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAu;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCu;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0u;
  return x ^ t ^ (t << 28);
}

uint64_t LoadBytes(const uint8_t* in) {
  uint64_t w = 0;
  for (int i = 0; i < 8; ++i) w |= static_cast<uint64_t>(in[i]) << (8 * i);
  return w;
}

}  // namespace

void ColumnLinesPortable(const uint64_t* masks, uint32_t dots, uint32_t columns, BlockLines& lines) {
  const uint32_t lineBytes = (dots + 7) / 8;
  const uint32_t columnBytes = (columns + 7) / 8;
  // planes[c][8 g + 7 - r] is byte c of masks[8 g + r]: eight dots of eight columns in one word,
  // in the order that the transpose turns into a line's bit order.
  uint8_t planes[BLOCK_COLUMNS / 8][MAX_DOTS];
  for (uint32_t k = 0; k < 8 * lineBytes; ++k)
    for (uint32_t c = 0; c < columnBytes; ++c) planes[c][k ^ 7] = static_cast<uint8_t>(masks[k] >> (8 * c));
  for (uint32_t c = 0; c < columnBytes; ++c)
    for (uint32_t g = 0; g < lineBytes; ++g) {
      const uint64_t t = Transpose8x8(LoadBytes(&planes[c][8 * g]));
      for (uint32_t b = 0; b < 8; ++b) lines[8 * c + 7 - b][g] = static_cast<uint8_t>(t >> (8 * b));
    }
}

#if defined(__SSE2__)
// Sixteen dots at a time: a byte transpose gathers byte c of the sixteen words into one
// register, last dot first; then each top bit gathered by movemask is one column's two line
// bytes, and doubling every byte brings the next column's bit to the top.
void ColumnLinesSse2(const uint64_t* masks, uint32_t dots, uint32_t columns, BlockLines& lines) {
  const uint32_t columnBytes = (columns + 7) / 8;
  for (uint32_t g = 0; 16 * g < dots; ++g) {
    const uint64_t* m = masks + 16 * g;
    __m128i t[8];
    for (int i = 0; i < 8; ++i)
      t[i] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + 15 - 2 * i)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + 14 - 2 * i)));
    __m128i u[8];  // u[2 i]: bytes 0..3 of words 4 i..4 i + 3 (reversed), u[2 i + 1]: bytes 4..7
    for (int i = 0; i < 4; ++i) {
      u[2 * i] = _mm_unpacklo_epi16(t[2 * i], t[2 * i + 1]);
      u[2 * i + 1] = _mm_unpackhi_epi16(t[2 * i], t[2 * i + 1]);
    }
    // v[4 h + p]: bytes 2 p and 2 p + 1 of words 8 h..8 h + 7 (counted from the last), each
    // as eight bytes in a row.
    __m128i v[8];
    for (int h = 0; h < 2; ++h) {
      v[4 * h + 0] = _mm_unpacklo_epi32(u[4 * h + 0], u[4 * h + 2]);  // bytes 0, 1
      v[4 * h + 1] = _mm_unpackhi_epi32(u[4 * h + 0], u[4 * h + 2]);  // bytes 2, 3
      v[4 * h + 2] = _mm_unpacklo_epi32(u[4 * h + 1], u[4 * h + 3]);  // bytes 4, 5
      v[4 * h + 3] = _mm_unpackhi_epi32(u[4 * h + 1], u[4 * h + 3]);  // bytes 6, 7
    }
    for (uint32_t c = 0; c < columnBytes; ++c) {
      // Byte c of all sixteen words: words 15..8 from the first half, 7..0 from the second.
      const __m128i a = v[c / 2], b = v[4 + c / 2];
      __m128i bytes = c % 2 ? _mm_unpackhi_epi64(a, b) : _mm_unpacklo_epi64(a, b);
      for (uint32_t s = 0; s < 8; ++s) {
        // Top eight bits first: swapped for the little-endian store (x86 only here).
        const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(bytes));
        const uint16_t pair = static_cast<uint16_t>((bits >> 8) | (bits << 8));
        std::memcpy(&lines[8 * c + s][2 * g], &pair, 2);
        bytes = _mm_add_epi8(bytes, bytes);
      }
    }
  }
}
#endif

}  // namespace raster
