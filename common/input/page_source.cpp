#include "common/input/page_source.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/tool_error.h"

namespace qxvn {

PageImage AllocatePage(uint32_t width, uint32_t height, uint32_t bytesPerPixel, const std::string& source) {
  PageImage page;
  page.width = width;
  page.height = height;
  page.bytesPerPixel = bytesPerPixel;
  page.stride = StrideOf(width, bytesPerPixel);
  if (width == 0 || height == 0) throw ToolError(source + ": the image has no pixels");
  if (page.stride > kMaxPageBytes / height)
    throw ToolError(source + ": a page of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels is too large");
  // Mapped directly, in huge pages where the system offers them: a page is written once from
  // start to end, and faulting it in 4 KiB at a time costs more than decoding it.
  constexpr size_t kHugePage = size_t{2} << 20;
  const size_t size = (page.SizeBytes() + kHugePage - 1) & ~(kHugePage - 1);
  void* mapping = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED)
    throw ToolError(source + ": not enough memory for a page of " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels");
  // Keep only the part aligned to a huge page.
  const auto start = reinterpret_cast<uintptr_t>(mapping);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned > start) munmap(mapping, aligned - start);
  munmap(reinterpret_cast<void*>(aligned + size), start + kHugePage - aligned);
  void* memory = reinterpret_cast<void*>(aligned);
  madvise(memory, size, MADV_HUGEPAGE);
  page.pixels = static_cast<uint8_t*>(memory);
  page.owner = std::shared_ptr<void>(memory, [size](void* p) { munmap(p, size); });
  return page;
}

std::unique_ptr<PageSource> OpenPageSource(const std::string& path, uint32_t dpi) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
  unsigned char magic[8] = {};
  size_t got = std::fread(magic, 1, sizeof magic, file);
  bool readFailed = std::ferror(file);
  int error = errno;
  std::fclose(file);
  if (readFailed) throw ToolError("cannot read " + path + ": " + std::strerror(error));

  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (got == 8 && std::memcmp(magic, kPng, 8) == 0) return OpenPng(path);
  if (got >= 5 && std::memcmp(magic, "%PDF-", 5) == 0) return OpenPdf(path, dpi);
  if (got >= 2 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6') return OpenPnm(path);
  throw ToolError(path + ": unsupported format (expected PNM P1-P6, PNG or PDF)");
}

}  // namespace qxvn
