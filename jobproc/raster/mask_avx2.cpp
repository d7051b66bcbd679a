// Eight pixels at a time in 32-bit lanes.
#include "jobproc/raster/x86_kernels.h"

#ifdef QX_RASTER_X86
#include <immintrin.h>

namespace raster {
namespace {

// As in the AVX-512 kernel: blue and red as 16-bit halves of a lane, green twice, so two
// multiply-adds give the weighted sums.
inline uint64_t PrintBits(__m256i blueRed, __m256i greenGreen, __m256i limits) {
  const __m256i sum =
      _mm256_add_epi32(_mm256_madd_epi16(blueRed, _mm256_set1_epi32(BLUE_WEIGHT | RED_WEIGHT << 16)),
                       _mm256_madd_epi16(greenGreen, _mm256_set1_epi32((GREEN_WEIGHT / 2) * 0x10001u)));
  return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(limits, sum))));
}

// Eight 3-byte pixels from exactly their 24 bytes: two loads of 16 that overlap. Lane j takes
// pixel 7 - j, so the comparison bits come out in a line's bit order.
inline uint64_t PrintBits3(const uint8_t* p, __m256i limits) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));       // pixels 0..3 at 0
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));  // pixels 4..7 at 4
  const __m256i both = _mm256_inserti128_si256(_mm256_castsi128_si256(high), low, 1);
  const __m256i blueRed = _mm256_setr_epi8(13, -1, 15, -1, 10, -1, 12, -1, 7, -1, 9, -1, 4, -1, 6, -1,  //
                                           9, -1, 11, -1, 6, -1, 8, -1, 3, -1, 5, -1, 0, -1, 2, -1);
  const __m256i greenGreen = _mm256_setr_epi8(14, -1, 14, -1, 11, -1, 11, -1, 8, -1, 8, -1, 5, -1, 5, -1,  //
                                              10, -1, 10, -1, 7, -1, 7, -1, 4, -1, 4, -1, 1, -1, 1, -1);
  return PrintBits(_mm256_shuffle_epi8(both, blueRed), _mm256_shuffle_epi8(both, greenGreen), limits);
}

// Eight 4-byte pixels; lane j takes pixel j, so these bits are in pixel order.
inline uint64_t PrintBits4(const uint8_t* p, __m256i limits) {
  const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i greenGreen = _mm256_setr_epi8(1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13, -1,  //
                                              1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13, -1);
  return PrintBits(_mm256_and_si256(pixels, _mm256_set1_epi32(0x00FF00FF)),
                   _mm256_shuffle_epi8(pixels, greenGreen), limits);
}

template <size_t BYTES_PER_PIXEL>
void MaskRuns(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count, uint32_t limit,
              uint64_t* words, size_t wordStride) {
  const __m256i limits = _mm256_set1_epi32(static_cast<int>(limit));
  ForEachMaskWord<BYTES_PER_PIXEL>(first, runStep, runs, count, words, wordStride,
                                   [&](const uint8_t* pixels, size_t n) {
                                     uint64_t word = 0;
                                     size_t i = 0;
                                     if (BYTES_PER_PIXEL == 3) {
                                       for (; i + 8 <= n; i += 8)
                                         word |= PrintBits3(pixels + i * 3, limits) << i;
                                       return word | PixelBits<3>(pixels, i, n, limit, MaskBit(0));
                                     }
                                     for (; i + 8 <= n; i += 8)
                                       word |= PrintBits4(pixels + i * 4, limits) << i;
                                     word |= PixelBits<4>(pixels, i, n, limit, 0);
                                     return ReverseBitsInBytes(word);  // gathered with pixel i in bit i
                                   });
}

}  // namespace

const MaskKernel kAvx2Kernel = {"avx2", MaskRuns<3>, MaskRuns<4>};

}  // namespace raster

#endif
