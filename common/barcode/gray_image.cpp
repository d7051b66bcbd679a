#include "common/barcode/gray_image.h"

namespace qxvn::barcode {

GrayImage LuminanceOf(const PageImage& page) {
  GrayImage gray(page.width, page.height);
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* in = page.Row(y);
    uint8_t* out = gray.Row(y);
    if (page.bytesPerPixel == 1) {
      for (uint32_t x = 0; x < page.width; ++x) out[x] = in[x];
      continue;
    }
    for (uint32_t x = 0; x < page.width; ++x, in += page.bytesPerPixel) out[x] = PixelLuminance(in);
  }
  return gray;
}

GrayImage Thresholded(const GrayView& gray, uint8_t threshold) {
  GrayImage dots(gray.width, gray.height);
  for (uint32_t y = 0; y < gray.height; ++y) {
    const uint8_t* in = gray.pixels + y * gray.stride;
    uint8_t* out = dots.Row(y);
    for (uint32_t x = 0; x < gray.width; ++x) out[x] = in[x] <= threshold ? 0 : 255;
  }
  return dots;
}

}  // namespace qxvn::barcode
