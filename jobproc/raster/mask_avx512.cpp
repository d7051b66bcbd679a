// Sixteen pixels at a time in 32-bit lanes; masked loads take the last pixels of a run, so no
// byte past the run is touched and no scalar tail is needed.
#include "jobproc/raster/x86_kernels.h"

#ifdef QX_RASTER_X86
// GCC 12's AVX-512 intrinsics fill unused lanes from a self-initialised "undefined" vector,
// which its own uninitialised-use check then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace raster {
namespace {

// Each 32-bit lane holds a pixel's blue and red as 16-bit halves, and its green twice: one
// multiply-add each then gives the whole weighted sum (GREEN_WEIGHT is even, and half of it
// fits a signed 16-bit factor as GREEN_WEIGHT itself would not).
struct Lanes {
  __m512i blueRed;
  __m512i greenGreen;
};

// Constants of the loop, built once per call: the compiler would otherwise rebuild the
// broadcast shuffle tables inside it.
struct Tables {
  __m512i limits;
  __m512i blueRedWeights = _mm512_set1_epi32(BLUE_WEIGHT | RED_WEIGHT << 16);
  __m512i greenWeights = _mm512_set1_epi32((GREEN_WEIGHT / 2) * 0x10001u);
  __m512i quarters3 = _mm512_setr_epi32(3, 4, 5, 6, 0, 1, 2, 3, 9, 10, 11, 12, 6, 7, 8, 9);
  __m512i blueRed3 =
      _mm512_broadcast_i32x4(_mm_setr_epi8(9, -1, 11, -1, 6, -1, 8, -1, 3, -1, 5, -1, 0, -1, 2, -1));
  __m512i greenGreen3 =
      _mm512_broadcast_i32x4(_mm_setr_epi8(10, -1, 10, -1, 7, -1, 7, -1, 4, -1, 4, -1, 1, -1, 1, -1));
  __m512i blueRed4 =
      _mm512_broadcast_i32x4(_mm_setr_epi8(12, -1, 14, -1, 8, -1, 10, -1, 4, -1, 6, -1, 0, -1, 2, -1));
  __m512i greenGreen4 =
      _mm512_broadcast_i32x4(_mm_setr_epi8(13, -1, 13, -1, 9, -1, 9, -1, 5, -1, 5, -1, 1, -1, 1, -1));
};

inline uint64_t Prints(const Lanes& lanes, const Tables& t) {
  const __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(lanes.blueRed, t.blueRedWeights),
                                       _mm512_madd_epi16(lanes.greenGreen, t.greenWeights));
  return _mm512_cmplt_epi32_mask(sum, t.limits);
}

// Sixteen 3-byte pixels from their 48 bytes: each 128-bit lane gets the 12 bytes of four
// pixels, which byte shuffles then spread. Lane j takes pixel j ^ 7, so the comparison bits come
// out in a line's bit order.
inline Lanes Spread3(__m512i packed, const Tables& t) {
  const __m512i quarters = _mm512_permutexvar_epi32(t.quarters3, packed);
  return {_mm512_shuffle_epi8(quarters, t.blueRed3), _mm512_shuffle_epi8(quarters, t.greenGreen3)};
}

// Sixteen 4-byte pixels; each 128-bit lane reverses its four, so the bits of each half byte
// come out reversed and only the two halves of every byte remain to be swapped (SwapHalves).
inline Lanes Spread4(__m512i pixels, const Tables& t) {
  return {_mm512_shuffle_epi8(pixels, t.blueRed4), _mm512_shuffle_epi8(pixels, t.greenGreen4)};
}

inline uint64_t SwapHalves(uint64_t w) {
  return ((w >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((w & 0x0F0F0F0F0F0F0F0Fu) << 4);
}

// Up to sixteen pixels starting at `p`, of which `remaining` belong to the run; lanes past them
// hold zeros.
template <size_t BYTES_PER_PIXEL>
inline Lanes Load(const uint8_t* p, size_t remaining, const Tables& t) {
  if (BYTES_PER_PIXEL == 3) {
    // A whole 64-byte load where the run goes on far enough, a masked one for its end.
    const __m512i packed = remaining >= 22 ? _mm512_loadu_si512(p)
                           : remaining >= 16
                               ? _mm512_maskz_loadu_epi8(__mmask64{0xFFFFFFFFFFFF}, p)
                               : _mm512_maskz_loadu_epi8((__mmask64{1} << (3 * remaining)) - 1, p);
    return Spread3(packed, t);
  }
  return Spread4(remaining >= 16 ? _mm512_loadu_si512(p)
                                 : _mm512_maskz_loadu_epi32(static_cast<__mmask16>((1u << remaining) - 1), p),
                 t);
}

template <size_t BYTES_PER_PIXEL>
void MaskRuns(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count, uint32_t limit,
              uint64_t* words, size_t wordStride) {
  Tables t;
  t.limits = _mm512_set1_epi32(static_cast<int>(limit));
  for (size_t r = 0; r < runs; ++r) {
    const uint8_t* run = first + static_cast<ptrdiff_t>(r) * runStep;
    uint64_t* out = words + r * wordStride;
    for (size_t done = 0; done < count; done += 64) {
      const uint8_t* p = run + done * BYTES_PER_PIXEL;
      const size_t remaining = count - done;
      uint64_t word;
      if (remaining >= 64) {
        const uint64_t m0 = Prints(Load<BYTES_PER_PIXEL>(p, remaining, t), t);
        const uint64_t m1 = Prints(Load<BYTES_PER_PIXEL>(p + 16 * BYTES_PER_PIXEL, remaining - 16, t), t);
        const uint64_t m2 = Prints(Load<BYTES_PER_PIXEL>(p + 32 * BYTES_PER_PIXEL, remaining - 32, t), t);
        const uint64_t m3 = Prints(Load<BYTES_PER_PIXEL>(p + 48 * BYTES_PER_PIXEL, remaining - 48, t), t);
        word = m0 | m1 << 16 | m2 << 32 | m3 << 48;
      } else {
        word = 0;
        for (size_t i = 0; i < remaining; i += 16)
          word |= Prints(Load<BYTES_PER_PIXEL>(p + i * BYTES_PER_PIXEL, remaining - i, t), t) << i;
        // Zero lanes past the run print (their sum is 0); drop them.
        word &= BYTES_PER_PIXEL == 3 ? FirstPixels(remaining) : SwapHalves(FirstPixels(remaining));
      }
      *out++ = BYTES_PER_PIXEL == 3 ? word : SwapHalves(word);
    }
  }
}

}  // namespace

const MaskKernel kAvx512Kernel = {"avx512", MaskRuns<3>, MaskRuns<4>};

}  // namespace raster

#endif
