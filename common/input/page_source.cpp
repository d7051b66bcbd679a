#include "common/input/page_source.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "common/input/document_format.h"
#include "common/io/mapped_file.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

// One released page mapping of label size is kept for the next page that fits it: printing label
// after label, faulting in and clearing a fresh mapping costs more than decoding the label. The
// kept mapping is cleared before it is handed out again, as a fresh one would be.
class KeptMapping {
 public:
  static constexpr size_t kMaxBytes = size_t{16} << 20;

  // A kept mapping of `size` bytes or a little more (its size in `*kept`), or null.
  void* Take(size_t size, size_t* kept) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_memory || m_size < size || m_size > 2 * size) return nullptr;
    *kept = m_size;
    return std::exchange(m_memory, nullptr);
  }

  void Release(void* memory, size_t size) {
    {
      std::lock_guard<std::mutex> hold(m_lock);
      if (!m_memory && size <= kMaxBytes) {
        m_memory = memory;
        m_size = size;
        return;
      }
    }
    munmap(memory, size);
  }

 private:
  std::mutex m_lock;
  void* m_memory = nullptr;
  size_t m_size = 0;
};

KeptMapping& Kept() {
  // Never destroyed: pages may be released while the program exits.
  static auto* kept = new KeptMapping;
  return *kept;
}

std::shared_ptr<void> OwnMapping(void* memory, size_t size) {
  return std::shared_ptr<void>(memory, [size](void* p) { Kept().Release(p, size); });
}

}  // namespace

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
  // less than half a huge page comes from the heap, which hands the last page's memory to the
  // next where the process keeps it (page_memory.h): clearing a whole huge page would cost more.
  constexpr size_t kHugePage = size_t{2} << 20;
  if (page.SizeBytes() < kHugePage / 2) {
    void* small = std::calloc(1, page.SizeBytes());
    if (!small) throw ToolError(source + ": not enough memory for the page");
    page.pixels = static_cast<uint8_t*>(small);
    page.owner = std::shared_ptr<void>(small, std::free);
    return page;
  }
  const size_t size = (page.SizeBytes() + kHugePage - 1) & ~(kHugePage - 1);
  size_t keptSize = 0;
  if (void* kept = Kept().Take(size, &keptSize)) {
    std::memset(kept, 0, page.SizeBytes());
    page.pixels = static_cast<uint8_t*>(kept);
    page.owner = OwnMapping(kept, keptSize);
    return page;
  }
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
  page.owner = OwnMapping(memory, size);
  return page;
}

std::unique_ptr<PageSource> OpenPageSource(const std::string& path, uint32_t dpi, const PageLimits& limits) {
  // Opened once: a pipe's first bytes, once read for the format, cannot be read again.
  auto file = std::make_unique<MappedFile>(path, false);
  switch (FormatOfBytes(file->Bytes())) {
    case DocumentFormat::kPng:
      return OpenPng(std::move(file), limits);
    case DocumentFormat::kJpeg:
      return OpenJpeg(std::move(file), limits);
    case DocumentFormat::kPdf:
      return OpenPdf(std::move(file), dpi, limits);
    case DocumentFormat::kPnm:
      return OpenPnm(std::move(file), limits);
    default:
      break;
  }
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
