// One decoded page in the layout bands are handed over in: rows top first, each pixel B, G, R
// (3 bytes) or B, G, R, 0xFF (4 bytes), each row padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qxvn {

struct PageImage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bytesPerPixel = 3;
  size_t stride = 0;
  uint8_t* pixels = nullptr;
  std::shared_ptr<void> owner;  // keeps `pixels` alive
  // The image's own resolution in pixels an inch, 0 when the file gives none.
  double dpiX = 0;
  double dpiY = 0;

  size_t SizeBytes() const { return stride * height; }
  uint8_t* Row(uint32_t y) const { return pixels + stride * y; }
};

constexpr size_t StrideOf(uint32_t width, uint32_t bytesPerPixel) {
  return (static_cast<size_t>(width) * bytesPerPixel + 3) & ~static_cast<size_t>(3);
}

// A page buffer of this layout; throws ToolError when it is larger than a page may be.
PageImage AllocatePage(uint32_t width, uint32_t height, uint32_t bytesPerPixel, const std::string& source);

// Largest page buffer accepted, in bytes: a band's size must fit the bitmap header's 32-bit
// signed field, and one band a page is the default.
constexpr size_t kMaxPageBytes = 0x7FFFFFFF;

}  // namespace qxvn
