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

}  // namespace

// Marks the printing pixels of `runs` runs of `count` pixels each. Run r starts at
// first + r * runStep (runStep may be negative) and its pixels follow each other. Bit i of
// words[r * wordStride + j] is set when pixel 64 j + i of run r prints; the bits past `count`
// in the run's last word are zero. Reads no byte outside the runs' pixels.
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
