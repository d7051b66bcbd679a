#include "common/input/page_source.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "common/io/mapped_file.h"
#include "common/tool_error.h"

namespace qxvn {

void CheckPageSize(uint64_t width, uint64_t height, const PageLimits& limits, const std::string& source) {
  // Each side fits 32 bits, so the product cannot wrap.
  if (width > UINT32_MAX || height > UINT32_MAX || width * height > limits.maxPixels)
    throw ToolError(source + ": a page of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels is over the limit of " + std::to_string(limits.maxPixels) + " pixels a page");
}

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
  // start to end, and faulting it in 4 KiB at a time costs more than decoding it. A page of
  // less than half a huge page is mapped as it is: clearing a whole huge page would cost more.
  constexpr size_t kHugePage = size_t{2} << 20;
  if (page.SizeBytes() < kHugePage / 2) {
    void* small = mmap(nullptr, page.SizeBytes(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (small == MAP_FAILED) throw ToolError(source + ": not enough memory for the page");
    page.pixels = static_cast<uint8_t*>(small);
    page.owner = std::shared_ptr<void>(small, [size = page.SizeBytes()](void* p) { munmap(p, size); });
    return page;
  }
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

std::unique_ptr<PageSource> OpenPageSource(const std::string& path, uint32_t dpi, const PageLimits& limits) {
  // Opened once: a pipe's first bytes, once read for the format, cannot be read again.
  auto file = std::make_unique<MappedFile>(path, false);
  std::span<const uint8_t> magic = file->Bytes().first(std::min<size_t>(file->Bytes().size(), 8));
  static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (magic.size() == 8 && std::memcmp(magic.data(), kPng, 8) == 0) return OpenPng(std::move(file), limits);
  if (magic.size() >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
    return OpenJpeg(std::move(file), limits);
  if (magic.size() >= 5 && std::memcmp(magic.data(), "%PDF-", 5) == 0)
    return OpenPdf(std::move(file), dpi, limits);
  if (magic.size() >= 2 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6')
    return OpenPnm(std::move(file), limits);
  throw ToolError(MappedFile::DisplayName(path) +
                  ": unsupported format (expected PNM P1-P6, PNG, JPEG or PDF)");
}

std::unique_ptr<PageSource> OpenPnm(const std::string& path, const PageLimits& limits) {
  return OpenPnm(std::make_unique<MappedFile>(path, false), limits);
}

std::unique_ptr<PageSource> OpenPng(const std::string& path, const PageLimits& limits) {
  return OpenPng(std::make_unique<MappedFile>(path, false), limits);
}

std::unique_ptr<PageSource> OpenJpeg(const std::string& path, const PageLimits& limits) {
  return OpenJpeg(std::make_unique<MappedFile>(path, false), limits);
}

std::unique_ptr<PageSource> OpenPdf(const std::string& path, uint32_t dpi, const PageLimits& limits) {
  return OpenPdf(std::make_unique<MappedFile>(path, false), dpi, limits);
}

}  // namespace qxvn
