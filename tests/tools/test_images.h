// Test pictures in every input format the tool reads, and the printed bitmap they should give,
// computed here from the pixels alone, independently of the plug-in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qxtest {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<Rgb> pixels;     // rows top first
  std::vector<uint8_t> alpha;  // empty: opaque
  const Rgb& At(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
};

// Colours on both sides of the default threshold 150: black, white, gray 150 (prints), gray
// 151 (does not), pure green (luminance 150), pure red, pure blue, light gray.
const std::vector<Rgb>& ColourPalette();
const std::vector<Rgb>& GrayPalette();  // gray levels only
const std::vector<Rgb>& BlackWhite();

// `width` x `height` pixels drawn from `palette` in a fixed pseudo-random pattern.
Image PatternImage(uint32_t width, uint32_t height, const std::vector<Rgb>& palette, uint32_t seed = 1);

// P1 to P6; gray kinds use the red channel. `maxval` scales samples (exact for 255 and 65535,
// and for 15 when the samples are multiples of 17).
std::string PnmBytes(const Image& image, char kind, uint32_t maxval = 255);

enum class PngKind {
  Gray1,
  Gray8,
  Gray16,
  Rgb8,
  Rgb16,
  Palette,
  PaletteTrns,
  GrayAlpha,
  Rgba,
  Rgba16,
  Interlaced,
  InterlacedRgba
};
void WritePngFile(const std::string& path, const Image& image, PngKind kind);

// A printed page: `width` dots a line, `height` lines, one byte a dot (1 prints).
struct Bitmap {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> dots;
  uint32_t dotsPerMetre = 0;
  bool At(uint32_t x, uint32_t y) const { return dots[size_t{y} * width + x] != 0; }
};

// A 1-bit gray PNG preview as qxvn decode writes it (black prints).
Bitmap ReadPreview(const std::string& path);

// What the printer prints for a page of `image` with these settings (sizes in dots).
struct Settings {
  uint32_t labelWidth = 0, labelHeight = 0;
  uint32_t horAlignment = 0, verAlignment = 0, rotation = 0;
  bool customPaper = false;  // no label crop, all trailing blank lines kept
  uint32_t threshold = 150;
};
Bitmap ExpectedPrint(const Image& image, const Settings& settings);

// The preview matches the expectation: same lines, same dots, and only blank padding beyond.
::testing::AssertionResult SameDots(const Bitmap& preview, const Bitmap& expected);

}  // namespace qxtest
