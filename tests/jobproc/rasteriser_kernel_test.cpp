// Every mask kernel the CPU can run gives the scalar kernel's bits, alone and through every walk.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "jobproc/raster/column_lines.h"
#include "jobproc/raster/pixel_mask.h"
#include "jobproc/raster/window_walk.h"

namespace {

std::vector<const raster::MaskKernel*> VectorKernels() {
  const raster::MaskKernel* kernels[8];
  const size_t count = raster::UsableKernels(kernels, 8);
  std::vector<const raster::MaskKernel*> vector;
  for (size_t i = 1; i < count; ++i) vector.push_back(kernels[i]);  // the first is scalar
  return vector;
}

raster::MaskRunsFn MaskFor(const raster::MaskKernel& kernel, uint32_t bytesPerPixel) {
  return bytesPerPixel == 3 ? kernel.mask3 : kernel.mask4;
}

// Random pixels biased towards the threshold, so that sums on both sides of it, and right at it,
// are common.
std::vector<uint8_t> RandomPixels(size_t bytes, uint8_t threshold, std::mt19937& rng) {
  std::vector<uint8_t> out(bytes);
  std::uniform_int_distribution<int> any(0, 255), near(-3, 3), pick(0, 3);
  for (uint8_t& b : out)
    b = static_cast<uint8_t>(pick(rng) ? any(rng) : std::clamp(threshold + near(rng), 0, 255));
  return out;
}

TEST(RasteriserKernels, TheScalarKernelIsAlwaysThereFirst) {
  const raster::MaskKernel* kernels[8];
  ASSERT_GE(raster::UsableKernels(kernels, 8), 1u);
  EXPECT_EQ(kernels[0], &raster::ScalarKernel());
  EXPECT_EQ(raster::UsableKernels(kernels, 1), 1u);
#if defined(__x86_64__)
  EXPECT_GE(raster::UsableKernels(kernels, 8), 2u);  // SSE2 is part of x86-64
#endif
}

TEST(RasteriserKernels, MasksEqualScalarForEveryCountAndStep) {
  std::mt19937 rng(1);
  for (uint32_t bytesPerPixel : {3u, 4u}) {
    const size_t maxCount = 200;
    const size_t stride = maxCount * bytesPerPixel + 5;
    const size_t runs = 7;
    for (uint8_t threshold : {uint8_t{0}, uint8_t{150}, uint8_t{254}, uint8_t{255}}) {
      const std::vector<uint8_t> pixels = RandomPixels(stride * runs, threshold, rng);
      const uint32_t limit = raster::PrintLimit(threshold);
      for (size_t count = 0; count <= maxCount; ++count)
        for (ptrdiff_t step : {static_cast<ptrdiff_t>(stride), -static_cast<ptrdiff_t>(stride)}) {
          // A buffer that ends with the last pixel of the run at the highest address, whichever
          // way the step goes: a vector load past it trips ASan.
          const std::vector<uint8_t> exact(
              pixels.begin(),
              pixels.begin() + static_cast<ptrdiff_t>((runs - 1) * stride + count * bytesPerPixel));
          const uint8_t* first = step > 0 ? exact.data() : exact.data() + (runs - 1) * stride;
          const size_t words = (count + 63) / 64;
          std::vector<uint64_t> expected(runs * words + 1, 0xA5), actual;
          MaskFor(raster::ScalarKernel(), bytesPerPixel)(first, step, runs, count, limit, expected.data(),
                                                         words);
          for (const raster::MaskKernel* kernel : VectorKernels()) {
            actual.assign(expected.size(), 0xA5);
            MaskFor(*kernel, bytesPerPixel)(first, step, runs, count, limit, actual.data(), words);
            ASSERT_EQ(actual, expected) << kernel->name << ", " << bytesPerPixel << " bytes, " << count
                                        << " pixels, threshold " << int{threshold} << ", step " << step;
          }
        }
    }
  }
}

// The transpose built for the target against the plain one, on random masks of every height.
TEST(RasteriserKernels, ColumnLinesEqualThePortableTranspose) {
  std::mt19937_64 rng(4);
  for (uint32_t dots = 0; dots <= raster::MAX_DOTS; dots += dots < 40 ? 1 : 37)
    for (uint32_t columns : {1u, 8u, 13u, 63u, 64u}) {
      uint64_t masks[raster::BlockMaskWords(raster::MAX_DOTS)] = {};
      for (uint32_t k = 0; k < dots; ++k) masks[k] = rng() & raster::FirstPixels(columns);
      raster::BlockLines expected = {}, actual = {};
      raster::ColumnLinesPortable(masks, dots, columns, expected);
      raster::ColumnLines(masks, dots, columns, actual);
      for (uint32_t c = 0; c < columns; ++c)
        for (uint32_t b = 0; b < (dots + 7) / 8; ++b)
          ASSERT_EQ(actual[c][b], expected[c][b]) << dots << " dots, column " << c << ", byte " << b;
      // Dot k of column c, seen straight from the masks.
      for (uint32_t c = 0; c < columns; ++c)
        for (uint32_t k = 0; k < dots; ++k)
          ASSERT_EQ((expected[c][k / 8] >> (7 - k % 8)) & 1, (masks[k] >> raster::MaskBit(c)) & 1);
    }
}

using Lines = std::vector<std::vector<uint8_t>>;

bool Collect(void* context, const uint8_t* line, uint32_t bytes) {
  static_cast<Lines*>(context)->emplace_back(line, line + bytes);
  return true;
}

// The plain definition of the walks, one pixel at a time, to hold the block walks against.
Lines ReferenceWalk(const raster::Window& w, uint32_t rotation, uint8_t threshold) {
  const bool quarter = rotation == 1 || rotation == 3;
  const uint32_t count = quarter ? w.columns : w.rows;
  const uint32_t dots = std::min(quarter ? w.rows : w.columns, raster::MAX_DOTS);
  Lines lines;
  for (uint32_t n = 0; n < count; ++n) {
    std::vector<uint8_t> line((dots + 7) / 8, 0);
    for (uint32_t d = 0; d < dots; ++d) {
      uint32_t row = n, column = d;
      if (rotation == 1) row = dots - 1 - d, column = n;
      if (rotation == 2) row = w.rows - 1 - n, column = dots - 1 - d;
      if (rotation == 3) row = d, column = w.columns - 1 - n;
      const uint8_t* pixel = w.topLeft + row * w.stride + column * w.bytesPerPixel;
      if (raster::WeightedSum(pixel) < raster::PrintLimit(threshold)) line[d / 8] |= 0x80 >> (d % 8);
    }
    lines.push_back(line);
  }
  return lines;
}

TEST(RasteriserKernels, EveryWalkOfEveryKernelEqualsThePlainWalk) {
  std::mt19937 rng(3);
  const raster::MaskKernel* kernels[8];
  const size_t kernelCount = raster::UsableKernels(kernels, 8);
  struct Size {
    uint32_t columns, rows;
  } sizes[] = {{1, 1}, {7, 5}, {63, 9}, {65, 17}, {129, 131}, {577, 3}, {3, 577}, {601, 599}, {0, 4}, {4, 0}};
  for (uint32_t bytesPerPixel : {3u, 4u})
    for (const Size& size : sizes) {
      // An odd window inside a larger band, so that pixels around it exist but must not show.
      const size_t stride = ((size.columns + 5) * bytesPerPixel + 3) & ~size_t{3};
      const std::vector<uint8_t> band = RandomPixels(stride * (size.rows + 2), 150, rng);
      const raster::Window window{band.data() + stride + 2 * bytesPerPixel, stride, bytesPerPixel,
                                  size.columns, size.rows};
      for (uint32_t rotation = 0; rotation < 4; ++rotation) {
        const Lines expected = ReferenceWalk(window, rotation, 150);
        for (size_t k = 0; k < kernelCount; ++k) {
          Lines actual;
          ASSERT_TRUE(raster::WalkWindow(window, rotation, 150, *kernels[k], Collect, &actual));
          ASSERT_EQ(actual, expected) << kernels[k]->name << ", " << bytesPerPixel << " bytes, "
                                      << size.columns << " x " << size.rows << ", rotation " << rotation;
        }
      }
    }
}

}  // namespace
