// The vector kernels, built on x86 only; each needs the CPU feature in its name.
#pragma once

#include "jobproc/raster/pixel_mask.h"

#if defined(__x86_64__) || defined(__i386__)
#define QX_RASTER_X86 1

namespace raster {

extern const MaskKernel kSse2Kernel;
extern const MaskKernel kAvx2Kernel;    // AVX2
extern const MaskKernel kAvx512Kernel;  // AVX-512 F and BW

}  // namespace raster

#endif
