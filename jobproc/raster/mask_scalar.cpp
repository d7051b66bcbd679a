#include "jobproc/raster/pixel_mask.h"

namespace raster {
namespace {

template <size_t BYTES_PER_PIXEL>
void MaskRuns(const uint8_t* first, ptrdiff_t runStep, size_t runs, size_t count, uint32_t limit,
              uint64_t* words, size_t wordStride) {
  ForEachMaskWord<BYTES_PER_PIXEL>(first, runStep, runs, count, words, wordStride,
                                   [limit](const uint8_t* pixels, size_t n) {
                                     return PixelBits<BYTES_PER_PIXEL>(pixels, 0, n, limit, MaskBit(0));
                                   });
}

const MaskKernel kScalar = {"scalar", MaskRuns<3>, MaskRuns<4>};

}  // namespace

const MaskKernel& ScalarKernel() { return kScalar; }

}  // namespace raster
