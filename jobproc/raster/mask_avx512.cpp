// Sixteen pixels at a time in 32-bit lanes; masked loads take the last pixels of a run, so no
// byte past the run is touched and no scalar tail is needed.
#include "jobproc/raster/x86_kernels.h"

#ifdef QX_RASTER_X86
// GCC 12's AVX-512 intrinsics fill unused lanes from a self-initialised "undefined" vector,
// which its own uninitialised-use check then reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

namespace raster {
namespace {

// As the SSE2 kernel: green weighted by GREEN_WEIGHT - 65536, and 65536 times green added back.
inline __m512i Sums(__m512i pixels) {
  const __m512i blueRed = _mm512_and_si512(pixels, _mm512_set1_epi32(0x00FF00FF));
  const __m512i green = _mm512_and_si512(_mm512_srli_epi32(pixels, 8), _mm512_set1_epi32(0xFF));
  const __m512i sum =
      _mm512_madd_epi16(blueRed, _mm512_set1_epi32(static_cast<int>(BLUE_WEIGHT | RED_WEIGHT << 16)));
  const __m512i greenLow =
      _mm512_madd_epi16(green, _mm512_set1_epi32(static_cast<int>(GREEN_WEIGHT - 65536) & 0xFFFF));
  return _mm512_add_epi32(_mm512_add_epi32(sum, greenLow), _mm512_slli_epi32(green, 16));
}

// Up to sixteen 3-byte pixels, one per lane: each 128-bit lane gets the 12 bytes of its four
// pixels, which a byte shuffle then spreads.
inline __m512i Load3(const uint8_t* p, size_t n) {
  const __mmask64 bytes = n == 16 ? __mmask64{0xFFFFFFFFFFFF} : (__mmask64{1} << (3 * n)) - 1;
  const __m512i packed = _mm512_maskz_loadu_epi8(bytes, p);
  const __m512i quarters =
      _mm512_permutexvar_epi32(_mm512_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12), packed);
  const __m512i spread =
      _mm512_broadcast_i32x4(_mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
  return _mm512_shuffle_epi8(quarters, spread);
}

inline __m512i Load4(const uint8_t* p, size_t n) {
  return n == 16 ? _mm512_loadu_si512(p) : _mm512_maskz_loadu_epi32(static_cast<__mmask16>((1u << n) - 1), p);
}

template <size_t BYTES_PER_PIXEL>
void MaskRuns(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count, uint32_t limit,
              uint64_t* words, size_t wordStride) {
  const __m512i limits = _mm512_set1_epi32(static_cast<int>(limit));
  for (size_t r = 0; r < runs; ++r) {
    const uint8_t* run = first + static_cast<ptrdiff_t>(r) * runStep;
    uint64_t* out = words + r * wordStride;
    for (size_t done = 0; done < count; done += 64) {
      const size_t n = count - done < 64 ? count - done : 64;
      uint64_t word = 0;
      for (size_t i = 0; i < n; i += 16) {
        const uint8_t* pixel = run + (done + i) * BYTES_PER_PIXEL;
        const size_t lanes = n - i < 16 ? n - i : 16;
        const __m512i pixels = BYTES_PER_PIXEL == 3 ? Load3(pixel, lanes) : Load4(pixel, lanes);
        const __mmask16 valid = static_cast<__mmask16>(lanes == 16 ? 0xFFFF : (1u << lanes) - 1);
        word |= static_cast<uint64_t>(_mm512_mask_cmplt_epi32_mask(valid, Sums(pixels), limits)) << i;
      }
      *out++ = word;
    }
  }
}

}  // namespace

const MaskKernel kAvx512Kernel = {"avx512", MaskRuns<3>, MaskRuns<4>};

}  // namespace raster

#endif
