// Gray and palette PNGs of every bit depth below 8 print exactly as the same colours given as a
// PPM: the one-byte-a-pixel rows are widened to the right B, G, R, and a palette index past the
// palette is black.
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

struct Colour {
  uint8_t r, g, b;
};

std::string BigEndian(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string Chunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return BigEndian(static_cast<uint32_t>(data.size())) + body + BigEndian(static_cast<uint32_t>(crc));
}

// A PNG of `width` x `height` samples of `depth` bits (`sample(x, y)`), colour type 0 or 3.
template <typename Sample>
std::string Png(uint32_t width, uint32_t height, int depth, int colourType, const std::string& palette,
                Sample sample) {
  std::string raw;
  for (uint32_t y = 0; y < height; ++y) {
    raw += '\0';
    uint32_t bits = 0, count = 0;
    for (uint32_t x = 0; x < width; ++x) {
      bits = bits << depth | sample(x, y);
      count += static_cast<uint32_t>(depth);
      if (count == 8) raw += static_cast<char>(bits), bits = 0, count = 0;
    }
    if (count > 0) raw += static_cast<char>(bits << (8 - count));
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  packed.resize(size);
  const std::string header = BigEndian(width) + BigEndian(height) +
                             std::string{static_cast<char>(depth), static_cast<char>(colourType), 0, 0, 0};
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", header) +
         (palette.empty() ? "" : Chunk("PLTE", palette)) + Chunk("IDAT", packed) + Chunk("IEND", "");
}

template <typename Pixel>
std::string Ppm(uint32_t width, uint32_t height, Pixel pixel) {
  std::string ppm = "P6 " + std::to_string(width) + " " + std::to_string(height) + " 255\n";
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const Colour c = pixel(x, y);
      ppm += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b)};
    }
  return ppm;
}

class NarrowPng : public ToolTest {
 protected:
  void ExpectSameStream(const std::string& png, const std::string& ppm) {
    WriteFile(Path("in.png"), png);
    WriteFile(Path("in.ppm"), ppm);
    for (const char* bpp : {"24", "32"}) {
      RunResult a = RunQxvn({"print", Path("in.png"), "--bpp", bpp, "-o", Path("png.qxvn")});
      RunResult b = RunQxvn({"print", Path("in.ppm"), "--bpp", bpp, "-o", Path("ppm.qxvn")});
      ASSERT_EQ(a.status, 0) << a.err;
      ASSERT_EQ(b.status, 0) << b.err;
      EXPECT_TRUE(ReadFile(Path("png.qxvn")) == ReadFile(Path("ppm.qxvn"))) << "--bpp " << bpp;
    }
  }
};

TEST_F(NarrowPng, PaletteOfEveryDepthAndAnIndexPastThePalette) {
  // Orange is light and its B, G, R swapped dark under the default threshold: the order shows.
  const std::vector<Colour> colours = {{255, 200, 0}, {0, 0, 0}, {255, 255, 255}};
  std::string palette;
  for (const Colour& c : colours)
    palette += {static_cast<char>(c.r), static_cast<char>(c.g), static_cast<char>(c.b)};
  for (int depth : {1, 2, 4, 8}) {
    SCOPED_TRACE(depth);
    const uint32_t values = std::min(1u << depth, 6u), width = 37, height = 23;
    auto index = [&](uint32_t x, uint32_t y) { return (x / 3 + y / 2) % values; };
    ExpectSameStream(Png(width, height, depth, 3, palette, index),
                     Ppm(width, height, [&](uint32_t x, uint32_t y) {
                       const uint32_t i = index(x, y);
                       return i < colours.size() ? colours[i] : Colour{0, 0, 0};
                     }));
  }
}

TEST_F(NarrowPng, GrayOfEveryDepthBelowEight) {
  for (int depth : {1, 2, 4}) {
    SCOPED_TRACE(depth);
    const uint32_t max = (1u << depth) - 1, width = 29, height = 17;
    auto value = [&](uint32_t x, uint32_t y) { return (x + 2 * y) % (max + 1); };
    ExpectSameStream(Png(width, height, depth, 0, "", value), Ppm(width, height, [&](uint32_t x, uint32_t y) {
                       const auto v = static_cast<uint8_t>(value(x, y) * 255 / max);
                       return Colour{v, v, v};
                     }));
  }
}

}  // namespace
}  // namespace qxtest
