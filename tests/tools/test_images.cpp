#include "tests/tools/test_images.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <utility>

namespace qxtest {

const std::vector<Rgb>& ColourPalette() {
  static const std::vector<Rgb> palette = {{0, 0, 0},   {255, 255, 255}, {150, 150, 150}, {151, 151, 151},
                                           {0, 255, 0}, {255, 0, 0},     {0, 0, 255},     {200, 200, 200}};
  return palette;
}

const std::vector<Rgb>& GrayPalette() {
  static const std::vector<Rgb> palette = {
      {0, 0, 0}, {255, 255, 255}, {153, 153, 153}, {136, 136, 136}, {68, 68, 68}};
  return palette;
}

const std::vector<Rgb>& BlackWhite() {
  static const std::vector<Rgb> palette = {{0, 0, 0}, {255, 255, 255}};
  return palette;
}

Image PatternImage(uint32_t width, uint32_t height, const std::vector<Rgb>& palette, uint32_t seed) {
  Image image{width, height, {}, {}};
  uint32_t state = seed * 2654435761u + 12345;
  for (size_t i = 0; i < size_t{width} * height; ++i) {
    state = state * 1103515245u + 12345;
    image.pixels.push_back(palette[(state >> 16) % palette.size()]);
  }
  return image;
}

std::string PnmBytes(const Image& image, char kind, uint32_t maxval) {
  const bool plain = kind <= '3', colour = kind == '3' || kind == '6';
  std::string out = std::string("P") + kind + "\n# test picture\n" + std::to_string(image.width) + " " +
                    std::to_string(image.height) + "\n";
  if (kind != '1' && kind != '4') out += std::to_string(maxval) + "\n";
  auto put = [&](uint8_t v) {
    const uint32_t scaled = (v * maxval + 127) / 255;
    if (plain) {
      out += std::to_string(scaled) + " ";
    } else {
      if (maxval > 255) out += static_cast<char>(scaled >> 8);
      out += static_cast<char>(scaled & 0xFF);
    }
  };
  for (uint32_t y = 0; y < image.height; ++y) {
    uint8_t bits = 0;
    for (uint32_t x = 0; x < image.width; ++x) {
      const Rgb& p = image.At(x, y);
      const bool black = p.r < 128;
      if (kind == '1') {
        out += black ? "1" : "0";
        out += x % 3 == 2 ? "\n" : "";  // samples need no separators; mix both
      } else if (kind == '4') {
        bits |= static_cast<uint8_t>((black ? 1 : 0) << (7 - x % 8));
        if (x % 8 == 7 || x + 1 == image.width) out += static_cast<char>(std::exchange(bits, 0));
      } else {
        put(p.r);
        if (colour) put(p.g), put(p.b);
        if (kind == '3') out += "\n";
      }
    }
    if (kind == '2') out += "\n";
  }
  return out;
}

namespace {

// Depth, colour type and interlacing of each PngKind, in the order of the enum.
constexpr struct {
  int depth, type;
  bool interlaced;
} kPngFormats[] = {
    {1, PNG_COLOR_TYPE_GRAY, false},    {8, PNG_COLOR_TYPE_GRAY, false},
    {16, PNG_COLOR_TYPE_GRAY, false},   {8, PNG_COLOR_TYPE_RGB, false},
    {16, PNG_COLOR_TYPE_RGB, false},    {8, PNG_COLOR_TYPE_PALETTE, false},
    {8, PNG_COLOR_TYPE_PALETTE, false}, {8, PNG_COLOR_TYPE_GRAY_ALPHA, false},
    {8, PNG_COLOR_TYPE_RGBA, false},    {16, PNG_COLOR_TYPE_RGBA, false},
    {8, PNG_COLOR_TYPE_RGB, true},      {8, PNG_COLOR_TYPE_RGBA, true},
};

bool WritePngRows(png_structp png, png_infop info, FILE* file, const Image& image, PngKind kind) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  const auto& f = kPngFormats[static_cast<int>(kind)];
  png_set_IHDR(png, info, image.width, image.height, f.depth, f.type,
               f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<Rgb> palette;
  if (f.type == PNG_COLOR_TYPE_PALETTE) {
    for (const Rgb& p : image.pixels)
      if (std::find(palette.begin(), palette.end(), p) == palette.end()) palette.push_back(p);
    std::vector<png_color> colours;
    for (const Rgb& p : palette) colours.push_back({p.r, p.g, p.b});
    png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
    if (kind == PngKind::PaletteTrns) {
      // Every entry opaque: alpha 255 keeps the colours as they are.
      std::vector<png_byte> trns(colours.size(), 255);
      png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    }
  }
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  std::vector<png_byte> row(size_t{image.width} * 8 + 8);
  for (int pass = 0; pass < passes; ++pass) {
    for (uint32_t y = 0; y < image.height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      size_t n = 0;
      // 16-bit samples repeat the 8-bit value in both bytes.
      auto put = [&](uint8_t v) {
        row[n++] = v;
        if (f.depth == 16) row[n++] = v;
      };
      for (uint32_t x = 0; x < image.width; ++x) {
        const Rgb& p = image.At(x, y);
        const uint8_t a = image.alpha.empty() ? 255 : image.alpha[size_t{y} * image.width + x];
        if (f.depth == 1) {
          row[x / 8] |= static_cast<png_byte>((p.r >= 128 ? 1 : 0) << (7 - x % 8));
        } else if (f.type == PNG_COLOR_TYPE_PALETTE) {
          put(static_cast<uint8_t>(std::find(palette.begin(), palette.end(), p) - palette.begin()));
        } else if (f.type & PNG_COLOR_MASK_COLOR) {
          put(p.r), put(p.g), put(p.b);
        } else {
          put(p.r);
        }
        if (f.type & PNG_COLOR_MASK_ALPHA) put(a);
      }
      png_write_row(png, row.data());
    }
  }
  png_write_end(png, info);
  return true;
}

bool ReadPngRows(png_structp png, png_infop info, FILE* file, Bitmap* bitmap) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  png_uint_32 w = 0, h = 0, resX = 0, resY = 0;
  int depth = 0, type = 0, unit = 0;
  png_get_IHDR(png, info, &w, &h, &depth, &type, nullptr, nullptr, nullptr);
  if (depth != 1 || type != PNG_COLOR_TYPE_GRAY) return false;
  png_get_pHYs(png, info, &resX, &resY, &unit);
  bitmap->width = w;
  bitmap->height = h;
  bitmap->dotsPerMetre = unit == PNG_RESOLUTION_METER ? resX : 0;
  bitmap->dots.resize(size_t{w} * h);
  std::vector<png_byte> row((w + 7) / 8);
  for (png_uint_32 y = 0; y < h; ++y) {
    png_read_row(png, row.data(), nullptr);
    for (png_uint_32 x = 0; x < w; ++x)
      bitmap->dots[size_t{y} * w + x] = ((row[x / 8] >> (7 - x % 8)) & 1) ? 0 : 1;
  }
  return true;
}

}  // namespace

void WritePngFile(const std::string& path, const Image& image, PngKind kind) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  bool ok = WritePngRows(png, info, file, image, kind);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  ASSERT_TRUE(ok) << path;
}

Bitmap ReadPreview(const std::string& path) {
  Bitmap bitmap;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    ADD_FAILURE() << "no preview " << path;
    return bitmap;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  bool ok = ReadPngRows(png, info, file, &bitmap);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  if (!ok) ADD_FAILURE() << path << " is not a 1-bit gray PNG";
  return bitmap;
}

Bitmap ExpectedPrint(const Image& image, const Settings& s) {
  auto prints = [&](uint32_t x, uint32_t y) {
    Rgb p = image.At(x, y);
    if (!image.alpha.empty()) {
      uint32_t a = image.alpha[size_t{y} * image.width + x];
      auto over = [&](uint32_t c) { return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255); };
      p = {over(p.r), over(p.g), over(p.b)};
    }
    return ((7209u * p.b + 38666u * p.g + 19661u * p.r) >> 16) <= s.threshold;
  };
  uint32_t t = 0, u = 0, w = image.width, h = image.height;
  if (!s.customPaper && s.labelWidth && s.labelWidth < w) {
    uint32_t excess = w - s.labelWidth;
    t = s.horAlignment == 0 ? 0 : s.horAlignment == 1 ? excess / 2 : excess;
    w = s.labelWidth;
  }
  if (!s.customPaper && s.labelHeight && s.labelHeight < h) {
    uint32_t excess = h - s.labelHeight;
    u = s.verAlignment == 0 ? 0 : s.verAlignment == 1 ? excess / 2 : excess;
    h = s.labelHeight;
  }
  const bool turned = s.rotation == 1 || s.rotation == 3;
  Bitmap out;
  out.width = std::min<uint32_t>(turned ? h : w, 576);
  out.height = turned ? w : h;
  out.dots.resize(size_t{out.width} * out.height);
  for (uint32_t line = 0; line < out.height; ++line) {
    for (uint32_t dot = 0; dot < out.width; ++dot) {
      uint32_t x = 0, y = 0;
      switch (s.rotation) {
        case 0:
          x = t + dot, y = u + line;
          break;
        case 1:
          x = t + line, y = u + h - 1 - dot;
          break;
        case 2:
          x = t + w - 1 - dot, y = u + h - 1 - line;
          break;
        default:
          x = t + w - 1 - line, y = u + dot;
          break;
      }
      out.dots[size_t{line} * out.width + dot] = prints(x, y) ? 1 : 0;
    }
  }
  // A standard-size page ends with at most 94 blank lines.
  if (!s.customPaper) {
    uint32_t blank = 0;
    while (blank < out.height &&
           std::all_of(out.dots.end() - (blank + 1) * out.width, out.dots.end() - blank * out.width,
                       [](uint8_t d) { return d == 0; }))
      ++blank;
    if (blank > 94) {
      out.height -= blank - 94;
      out.dots.resize(size_t{out.width} * out.height);
    }
  }
  return out;
}

::testing::AssertionResult SameDots(const Bitmap& preview, const Bitmap& expected) {
  if (preview.height != expected.height)
    return ::testing::AssertionFailure()
           << "preview has " << preview.height << " lines, expected " << expected.height;
  if (preview.width != (expected.width + 7) / 8 * 8)
    return ::testing::AssertionFailure()
           << "preview is " << preview.width << " dots wide, expected " << (expected.width + 7) / 8 * 8;
  for (uint32_t y = 0; y < preview.height; ++y)
    for (uint32_t x = 0; x < preview.width; ++x) {
      bool want = x < expected.width && expected.At(x, y);
      if (preview.At(x, y) != want)
        return ::testing::AssertionFailure()
               << "dot " << x << " of line " << y << " is " << preview.At(x, y) << ", expected " << want;
    }
  return ::testing::AssertionSuccess();
}

}  // namespace qxtest
