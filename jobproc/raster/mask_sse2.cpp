// Four pixels at a time in 32-bit lanes.
#include "jobproc/raster/x86_kernels.h"

#ifdef QX_RASTER_X86
#include <emmintrin.h>

namespace raster {
namespace {

// Weighted sums of the pixels in each 32-bit lane (blue in the low byte, the top byte ignored).
// The green weight does not fit a signed 16-bit factor: green is weighted by
// GREEN_WEIGHT - 65536 and 65536 times green is added back.
inline __m128i Sums(__m128i pixels) {
  const __m128i blueRed = _mm_and_si128(pixels, _mm_set1_epi32(0x00FF00FF));
  const __m128i green = _mm_and_si128(_mm_srli_epi32(pixels, 8), _mm_set1_epi32(0xFF));
  const __m128i sum =
      _mm_madd_epi16(blueRed, _mm_set1_epi32(static_cast<int>(BLUE_WEIGHT | RED_WEIGHT << 16)));
  const __m128i greenLow =
      _mm_madd_epi16(green, _mm_set1_epi32(static_cast<int>(GREEN_WEIGHT - 65536) & 0xFFFF));
  return _mm_add_epi32(_mm_add_epi32(sum, greenLow), _mm_slli_epi32(green, 16));
}

inline uint64_t PrintBits(__m128i pixels, __m128i limit) {
  return static_cast<uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(Sums(pixels), limit))));
}

// Four 3-byte pixels, one per lane, from exactly their 12 bytes.
inline __m128i Load3(const uint8_t* p) {
  const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));      // bytes 0..7
  const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 4));  // bytes 4..11
  const __m128i first = _mm_unpacklo_epi32(a, _mm_srli_si128(a, 3));
  const __m128i second = _mm_unpacklo_epi32(_mm_srli_si128(b, 2), _mm_srli_si128(b, 5));
  return _mm_unpacklo_epi64(first, second);
}

inline __m128i Load4(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

template <size_t BYTES_PER_PIXEL>
void MaskRuns(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count, uint32_t limit,
              uint64_t* words, size_t wordStride) {
  const __m128i limits = _mm_set1_epi32(static_cast<int>(limit));
  ForEachMaskWord<BYTES_PER_PIXEL>(
      first, runStep, runs, count, words, wordStride, [&](const uint8_t* pixels, size_t n) {
        uint64_t word = 0;
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
          const uint8_t* p = pixels + i * BYTES_PER_PIXEL;
          word |= PrintBits(BYTES_PER_PIXEL == 3 ? Load3(p) : Load4(p), limits) << i;
        }
        word |= PixelBits<BYTES_PER_PIXEL>(pixels, i, n, limit, 0);
        return ReverseBitsInBytes(word);  // gathered with pixel i in bit i
      });
}

}  // namespace

const MaskKernel kSse2Kernel = {"sse2", MaskRuns<3>, MaskRuns<4>};

}  // namespace raster

#endif
