#include "common/input/pdf_pixels.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace qxvn {
namespace {

size_t BitRowBytes(uint32_t width) { return (size_t{width} + 7) / 8; }

}  // namespace

PdfPixels Compact(const PageImage& page, std::vector<uint8_t>& out) {
  const uint32_t bpp = page.bytesPerPixel, width = page.width;
  const size_t grayStride = StrideOf(width, 1);
  out.assign(grayStride * page.height, 0);
  // One pass: each row is taken as gray while its channels are told apart; a pixel whose
  // channels differ ends it. The sums are branch-free so that the rows go at memory speed.
  unsigned notBlackOrWhite = 0;
  constexpr uint64_t kWhite = ~uint64_t{0};
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* p = page.Row(y);
    uint8_t* gray = out.data() + grayStride * y;
    unsigned colour = 0, between = 0;
    uint32_t x = 0;
    while (x < width) {
      // A label is mostly white paper: eight white pixels at once.
      if (bpp == 3 && x + 8 <= width) {
        uint64_t words[3];
        std::memcpy(words, p, sizeof words);
        if ((words[0] & words[1] & words[2]) == kWhite) {
          std::memset(gray + x, 0xFF, 8);
          x += 8;
          p += 24;
          continue;
        }
      }
      const uint32_t end = std::min(width, x + 8);
      for (; x < end; ++x, p += bpp) {
        colour |= unsigned(p[0] ^ p[1]) | unsigned(p[0] ^ p[2]);
        between |= static_cast<uint8_t>(p[0] + 1) > 1;
        gray[x] = p[0];
      }
    }
    if (colour) {
      out.clear();
      return PdfPixels::kAsAsked;
    }
    notBlackOrWhite |= between;
  }
  if (notBlackOrWhite) return PdfPixels::kGray;
  // Black and white: the gray rows packed eight pixels a byte, in place.
  const size_t rowBytes = BitRowBytes(width);
  uint8_t* to = out.data();
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* gray = out.data() + grayStride * y;
    for (uint32_t x = 0; x < width; x += 8) {
      uint8_t bits = 0;
      for (uint32_t b = 0; b < 8; ++b)
        bits = static_cast<uint8_t>(bits << 1 | (x + b < width && gray[x + b] != 0));
      *to++ = bits;
    }
  }
  out.resize(rowBytes * page.height);
  return PdfPixels::kBits;
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
