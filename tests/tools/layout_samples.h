// Documents with a size of their own for the layout tests: gray PNGs with a resolution, a JPEG
// with a density, PDFs of a given page size; and where the dots of a printed label lie.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/tools/test_images.h"

namespace qxtest {

struct GrayImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // rows top first, 0 black
  uint8_t& At(uint32_t x, uint32_t y) { return pixels[size_t{y} * width + x]; }
};

// White, `width` x `height`.
GrayImage WhiteImage(uint32_t width, uint32_t height);
// A black frame `border` pixels wide along the edges and a black square a third of the width
// in the top-left corner inside it, so that both the page's extent and its turn show in print.
GrayImage FramedImage(uint32_t width, uint32_t height, uint32_t border);
// Any PNG (a bar code from zint) as gray.
GrayImage ReadGrayPng(const std::string& path);
// `part` copied into `into` with its top left at (x, y).
void Paste(GrayImage& into, const GrayImage& part, uint32_t x, uint32_t y);

// An 8-bit gray PNG; `dpi` > 0 writes it as the pHYs resolution.
void WriteGrayPng(const std::string& path, const GrayImage& image, double dpi);
// A JPEG of the image with its JFIF density set to `dpi` dots an inch.
void WriteGrayJpeg(const std::string& path, const GrayImage& image, uint16_t dpi);
// A one-page PDF of `width` x `height` points drawn as FramedImage draws.
void WriteFramedPdf(const std::string& path, double width, double height);

// Where the printed dots are on a decoded label; `right` and `bottom` are one past the last.
struct DotBox {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  bool empty = true;
  int64_t Width() const { return right - left; }
  int64_t Height() const { return bottom - top; }
};
DotBox DotsBox(const Bitmap& label);

// Which quarter of the box holds the most dots: 0 top left, 1 top right, 2 bottom left, 3
// bottom right.
int InkiestQuarter(const Bitmap& label, const DotBox& box);

}  // namespace qxtest
