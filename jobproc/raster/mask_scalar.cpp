#include "jobproc/raster/pixel_mask.h"

namespace raster {
namespace {

template <size_t BYTES_PER_PIXEL>
void MaskRuns(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count, uint32_t limit,
              uint64_t* words, size_t wordStride) {
  for (size_t r = 0; r < runs; ++r) {
    const uint8_t* pixel = first + static_cast<ptrdiff_t>(r) * runStep;
    uint64_t* out = words + r * wordStride;
    for (size_t done = 0; done < count; done += 64) {
      const size_t n = count - done < 64 ? count - done : 64;
      uint64_t word = 0;
      for (size_t i = 0; i < n; ++i, pixel += BYTES_PER_PIXEL)
        word |= static_cast<uint64_t>(WeightedSum(pixel) < limit) << MaskBit(i);
      *out++ = word;
    }
  }
}

const MaskKernel kScalar = {"scalar", MaskRuns<3>, MaskRuns<4>};

}  // namespace

const MaskKernel& ScalarKernel() { return kScalar; }

}  // namespace raster
