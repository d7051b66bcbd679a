// Run-time choice of the mask kernel by what the CPU offers.
#include <cstdlib>
#include <cstring>

#include "jobproc/raster/pixel_mask.h"
#include "jobproc/raster/x86_kernels.h"

namespace raster {

size_t UsableKernels(const MaskKernel** out, size_t capacity) {
  size_t count = 0;
  auto add = [&](const MaskKernel& kernel) {
    if (count < capacity) out[count++] = &kernel;
  };
  add(ScalarKernel());
#ifdef QX_RASTER_X86
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) add(kSse2Kernel);
  if (__builtin_cpu_supports("avx2")) add(kAvx2Kernel);
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) add(kAvx512Kernel);
#endif
  return count;
}

namespace {

// The last usable kernel is the widest. QX_RASTER_KERNEL names another usable one, to compare
// speeds or to step around a suspect vector path.
const MaskKernel* ChooseKernel() {
  const MaskKernel* kernels[8];
  const size_t count = UsableKernels(kernels, 8);
  if (const char* wanted = std::getenv("QX_RASTER_KERNEL"))
    for (size_t i = 0; i < count; ++i)
      if (std::strcmp(kernels[i]->name, wanted) == 0) return kernels[i];
  return kernels[count - 1];
}

}  // namespace

const MaskKernel& BestKernel() {
  static const MaskKernel* const best = ChooseKernel();
  return *best;
}

}  // namespace raster
