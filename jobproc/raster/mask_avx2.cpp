// Eight pixels at a time in 32-bit lanes.
#include "jobproc/raster/x86_kernels.h"

#ifdef QX_RASTER_X86
#include <immintrin.h>

namespace raster {
namespace {

// As the SSE2 kernel: green weighted by GREEN_WEIGHT - 65536, and 65536 times green added back.
inline __m256i Sums(__m256i pixels) {
  const __m256i blueRed = _mm256_and_si256(pixels, _mm256_set1_epi32(0x00FF00FF));
  const __m256i green = _mm256_and_si256(_mm256_srli_epi32(pixels, 8), _mm256_set1_epi32(0xFF));
  const __m256i sum =
      _mm256_madd_epi16(blueRed, _mm256_set1_epi32(static_cast<int>(BLUE_WEIGHT | RED_WEIGHT << 16)));
  const __m256i greenLow =
      _mm256_madd_epi16(green, _mm256_set1_epi32(static_cast<int>(GREEN_WEIGHT - 65536) & 0xFFFF));
  return _mm256_add_epi32(_mm256_add_epi32(sum, greenLow), _mm256_slli_epi32(green, 16));
}

inline uint64_t PrintBits(__m256i pixels, __m256i limit) {
  return static_cast<uint32_t>(
      _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(limit, Sums(pixels)))));
}

// Eight 3-byte pixels, one per lane, from exactly their 24 bytes: two loads of 16 that overlap,
// each spread over four lanes.
inline __m256i Load3(const uint8_t* p) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
  const __m256i both = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
  return _mm256_shuffle_epi8(both, spread);
}

inline __m256i Load4(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

template <size_t BYTES_PER_PIXEL>
void MaskRuns(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count, uint32_t limit,
              uint64_t* words, size_t wordStride) {
  const __m256i limits = _mm256_set1_epi32(static_cast<int>(limit));
  for (size_t r = 0; r < runs; ++r) {
    const uint8_t* pixel = first + static_cast<ptrdiff_t>(r) * runStep;
    uint64_t* out = words + r * wordStride;
    for (size_t done = 0; done < count; done += 64) {
      const size_t n = count - done < 64 ? count - done : 64;
      uint64_t word = 0;
      size_t i = 0;
      for (; i + 8 <= n; i += 8, pixel += 8 * BYTES_PER_PIXEL)
        word |= PrintBits(BYTES_PER_PIXEL == 3 ? Load3(pixel) : Load4(pixel), limits) << i;
      for (; i < n; ++i, pixel += BYTES_PER_PIXEL)
        word |= static_cast<uint64_t>(WeightedSum(pixel) < limit) << i;
      *out++ = word;
    }
  }
}

}  // namespace

const MaskKernel kAvx2Kernel = {"avx2", MaskRuns<3>, MaskRuns<4>};

}  // namespace raster

#endif
