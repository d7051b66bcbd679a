#include "common/barcode/gray_image.h"

#include <cstring>

namespace qxvn::barcode {

namespace {

// With the pixel's size known to the compiler, the row's loop is vectorised.
template <uint32_t kBytesPerPixel>
void RowLuminance(const uint8_t* in, uint8_t* out, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x, in += kBytesPerPixel) out[x] = PixelLuminance(in);
}

// Passed by value, the width cannot change under the row's stores, and the loop is vectorised.
void RowThreshold(const uint8_t* in, uint8_t* out, uint32_t width, uint8_t threshold) {
  for (uint32_t x = 0; x < width; ++x) out[x] = in[x] <= threshold ? 0 : 255;
}

}  // namespace

GrayImage LuminanceOf(const PageImage& page) {
  GrayImage gray(page.width, page.height);
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* in = page.Row(y);
    uint8_t* out = gray.Row(y);
    if (page.bytesPerPixel == 1)
      std::memcpy(out, in, page.width);
    else if (page.bytesPerPixel == 3)
      RowLuminance<3>(in, out, page.width);
    else
      RowLuminance<4>(in, out, page.width);
  }
  return gray;
}

GrayImage Thresholded(const GrayView& gray, uint8_t threshold) {
  GrayImage dots(gray.width, gray.height);
  for (uint32_t y = 0; y < gray.height; ++y)
    RowThreshold(gray.pixels + y * gray.stride, dots.Row(y), gray.width, threshold);
  return dots;
}

}  // namespace qxvn::barcode
