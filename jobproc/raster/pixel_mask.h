// Thresholding of pixels into bit masks: the per-pixel work of the band rasteriser, with a
// scalar kernel that runs everywhere and vector kernels chosen for the CPU at run time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace raster {

// Luminance weights in 16-bit fixed point (0.11, 0.59, 0.30); they sum to 65536, so the
// weighted sum of a pixel shifted right by 16 lies in 0..255.
constexpr uint32_t BLUE_WEIGHT = 7209;
constexpr uint32_t GREEN_WEIGHT = 38666;
constexpr uint32_t RED_WEIGHT = 19661;

// Internal linkage on purpose: the vector kernels are compiled with wider instruction sets, and
// an out-of-line copy of a shared inline function from one of them could be picked by the
// linker for every caller, including code that must run on any x86-64 CPU.
namespace {

// A pixel prints when (sum >> 16) <= threshold, that is when sum < PrintLimit(threshold).
constexpr uint32_t PrintLimit(uint8_t threshold) { return (uint32_t{threshold} + 1) << 16; }

constexpr uint32_t WeightedSum(const uint8_t* pixel) {
  return BLUE_WEIGHT * pixel[0] + GREEN_WEIGHT * pixel[1] + RED_WEIGHT * pixel[2];
}

// Bit order of a mask word: pixel i of the word is bit i ^ 7, so that the word's bytes, stored
// lowest first, are eight pixels each with the first in the top bit, as a printer line wants.
constexpr unsigned MaskBit(size_t pixel) { return static_cast<unsigned>(pixel ^ 7); }

// Reverses the bits of every byte: turns bit i into bit i ^ 7 and back.
constexpr uint64_t ReverseBitsInBytes(uint64_t w) {
  w = ((w >> 1) & 0x5555555555555555u) | ((w & 0x5555555555555555u) << 1);
  w = ((w >> 2) & 0x3333333333333333u) | ((w & 0x3333333333333333u) << 2);
  return ((w >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((w & 0x0F0F0F0F0F0F0F0Fu) << 4);
}

// The word bits of the first `count` pixels (count <= 64).
constexpr uint64_t FirstPixels(size_t count) {
  return ReverseBitsInBytes(count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1);
}

// Walks `runs` runs of `count` pixels, word by word: `fill(pixels, n)` returns the mask word of
// the n (at most 64) pixels from `pixels`, and the words are stored run after run.
template <size_t BYTES_PER_PIXEL, class FillWord>
inline void ForEachMaskWord(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count,
                            uint64_t* words, size_t wordStride, FillWord fill) {
  for (size_t r = 0; r < runs; ++r) {
    const uint8_t* run = first + static_cast<ptrdiff_t>(r) * runStep;
    uint64_t* out = words + r * wordStride;
    for (size_t done = 0; done < count; done += 64)
      *out++ = fill(run + done * BYTES_PER_PIXEL, count - done < 64 ? count - done : 64);
  }
}

// Print bits of pixels `from` to n - 1 of a word, one pixel at a time; pixel i lands in bit
// i ^ bitFlip (7 for mask order, 0 for pixel i in bit i).
template <size_t BYTES_PER_PIXEL>
inline uint64_t PixelBits(const uint8_t* pixels, size_t from, size_t n, uint32_t limit, unsigned bitFlip) {
  uint64_t word = 0;
  for (size_t i = from; i < n; ++i)
    word |= static_cast<uint64_t>(WeightedSum(pixels + i * BYTES_PER_PIXEL) < limit) << (i ^ bitFlip);
  return word;
}

}  // namespace

// Marks the printing pixels of `runs` runs of `count` pixels each. Run r starts at
// first + r * runStep (runStep may be negative) and its pixels follow each other. Bit
// MaskBit(i) of words[r * wordStride + j] is set when pixel 64 j + i of run r prints; the bits
// of pixels past `count` in the run's last word are zero. Reads no byte outside the runs' pixels.
using MaskRunsFn = void (*)(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count,
                            uint32_t limit, uint64_t* words, size_t wordStride);

struct MaskKernel {
  const char* name;
  MaskRunsFn mask3;  // pixels of 3 bytes
  MaskRunsFn mask4;  // pixels of 4 bytes
};

// The portable kernel; always correct, the reference for the others.
const MaskKernel& ScalarKernel();

// Kernels built in and usable on this CPU, the scalar one first. `out` takes up to `capacity`
// pointers; returns how many there are.
size_t UsableKernels(const MaskKernel** out, size_t capacity);

// The fastest usable kernel, chosen once.
const MaskKernel& BestKernel();

}  // namespace raster
