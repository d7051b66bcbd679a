// Gray pages for the symbol reader: the laid-out page's luminance, as the plug-in weighs it, and
// the printed page's dots, 0 for a dot and 255 for white.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/input/page_image.h"

namespace qxvn::barcode {

struct GrayView {
  const uint8_t* pixels = nullptr;
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;

  uint8_t At(uint32_t x, uint32_t y) const { return pixels[y * stride + x]; }
};

struct GrayImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;

  GrayImage() = default;
  GrayImage(uint32_t w, uint32_t h, uint8_t fill = 255)
      : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}
  GrayView View() const { return {pixels.data(), width, height, width}; }
  uint8_t* Row(uint32_t y) { return pixels.data() + static_cast<size_t>(y) * width; }
};

// The plug-in's luminance of each pixel (B, G, R weighed 0.11, 0.59, 0.30).
GrayImage LuminanceOf(const PageImage& page);

// Luminance of one B, G, R pixel, as the plug-in computes it.
inline uint8_t PixelLuminance(const uint8_t* bgr) {
  return static_cast<uint8_t>((7209u * bgr[0] + 38666u * bgr[1] + 19661u * bgr[2]) >> 16);
}

// The dots the plug-in's threshold gives: a pixel prints when its luminance is at most `threshold`.
GrayImage Thresholded(const GrayView& gray, uint8_t threshold);

}  // namespace qxvn::barcode
