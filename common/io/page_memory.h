// How a process that handles a page after another keeps its memory.
#pragma once

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qxvn {

// A page's pixels, its gray copy and its rendered bitmap are blocks of a few megabytes, freed
// when the page is done. glibc maps a block that large afresh and unmaps it on free, or trims it
// off the heap, so each page took every one of its 4 KiB pages back from the kernel zeroed: a
// page fault each, nearly half of a 100-page PDF's processor time. Kept in the heap, the next
// page reuses them. Blocks over 32 MiB (a hostile page's) still go back at once, and no more
// than 4 MiB of free heap stays behind in each arena: with 2 MiB the app's thread of a PDF job
// gave its pages back between pages; with 8 MiB the app held more memory for no fewer faults.
inline void KeepPageMemoryForReuse() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 4 << 20);
#endif
}

}  // namespace qxvn
