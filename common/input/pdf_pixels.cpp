#include "common/input/pdf_pixels.h"

#include <array>
#include <cstring>
#include <string>

namespace qxvn {
namespace {

size_t BitRowBytes(uint32_t width) { return (size_t{width} + 7) / 8; }

}  // namespace

PdfPixels SmallestEncoding(const PageImage& page) {
  const uint32_t bpp = page.bytesPerPixel;
  bool blackAndWhite = true;
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* p = page.Row(y);
    for (uint32_t x = 0; x < page.width; ++x, p += bpp) {
      if (p[0] != p[1] || p[0] != p[2]) return PdfPixels::kAsAsked;
      blackAndWhite = blackAndWhite && (p[0] == 0 || p[0] == 0xFF);
    }
  }
  return blackAndWhite ? PdfPixels::kBits : PdfPixels::kGray;
}

uint64_t EncodedBytes(PdfPixels encoding, uint32_t width, uint32_t height, uint32_t bytesPerPixel) {
  switch (encoding) {
    case PdfPixels::kGray:
      return uint64_t{StrideOf(width, 1)} * height;
    case PdfPixels::kBits:
      return uint64_t{BitRowBytes(width)} * height;
    case PdfPixels::kAsAsked:
      break;
  }
  return uint64_t{StrideOf(width, bytesPerPixel)} * height;
}

std::vector<uint8_t> Encode(const PageImage& page, PdfPixels encoding) {
  std::vector<uint8_t> out(EncodedBytes(encoding, page.width, page.height, page.bytesPerPixel));
  const uint32_t bpp = page.bytesPerPixel;
  const size_t grayStride = StrideOf(page.width, 1);
  uint8_t* to = out.data();
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* p = page.Row(y);
    if (encoding == PdfPixels::kGray) {
      for (uint32_t x = 0; x < page.width; ++x, p += bpp) to[x] = p[0];
      to += grayStride;
      continue;
    }
    for (uint32_t x = 0; x < page.width; x += 8) {
      uint8_t bits = 0;
      for (uint32_t b = 0; b < 8; ++b, p += bpp)
        bits = static_cast<uint8_t>(bits << 1 | (x + b < page.width && p[0] != 0));
      *to++ = bits;
    }
  }
  return out;
}

void BitsToGray(const uint8_t* bits, PageImage& gray) {
  // Eight pixels a byte, looked up.
  static const std::array<std::array<uint8_t, 8>, 256> kPixels = [] {
    std::array<std::array<uint8_t, 8>, 256> table{};
    for (unsigned v = 0; v < 256; ++v)
      for (unsigned b = 0; b < 8; ++b) table[v][b] = (v >> (7 - b)) & 1 ? 0xFF : 0;
    return table;
  }();
  const size_t rowBytes = BitRowBytes(gray.width);
  const size_t whole = gray.width / 8, rest = gray.width % 8;
  for (uint32_t y = 0; y < gray.height; ++y, bits += rowBytes) {
    uint8_t* out = gray.Row(y);
    for (size_t i = 0; i < whole; ++i, out += 8) std::memcpy(out, kPixels[bits[i]].data(), 8);
    if (rest) std::memcpy(out, kPixels[bits[whole]].data(), rest);
  }
}

}  // namespace qxvn
