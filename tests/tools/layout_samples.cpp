#include "tests/tools/layout_samples.h"

#include <png.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/draw/label_pdf.h"
#include "tests/tools/test_jpeg.h"

namespace qxtest {

GrayImage WhiteImage(uint32_t width, uint32_t height) {
  GrayImage image;
  image.width = width;
  image.height = height;
  image.pixels.assign(size_t{width} * height, 255);
  return image;
}

GrayImage FramedImage(uint32_t width, uint32_t height, uint32_t border) {
  GrayImage image = WhiteImage(width, height);
  const uint32_t square = width / 3;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const bool frame = x < border || y < border || x >= width - border || y >= height - border;
      const bool corner = x < border + square && y < border + square;
      if (frame || corner) image.At(x, y) = 0;
    }
  }
  return image;
}

GrayImage ReadGrayPng(const std::string& path) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  GrayImage image;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    ADD_FAILURE() << "cannot read " << path;
    return image;
  }
  png.format = PNG_FORMAT_GRAY;
  image.width = png.width;
  image.height = png.height;
  image.pixels.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) ADD_FAILURE() << path;
  return image;
}

void Paste(GrayImage& into, const GrayImage& part, uint32_t x, uint32_t y) {
  for (uint32_t row = 0; row < part.height && y + row < into.height; ++row)
    for (uint32_t col = 0; col < part.width && x + col < into.width; ++col)
      into.At(x + col, y + row) = part.pixels[size_t{row} * part.width + col];
}

void WriteGrayPng(const std::string& path, const GrayImage& image, double dpi) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(file) << path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (dpi > 0) {
    const auto perMetre = static_cast<png_uint_32>(dpi / 0.0254 + 0.5);
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  for (uint32_t y = 0; y < image.height; ++y)
    png_write_row(png, const_cast<png_bytep>(image.pixels.data() + size_t{y} * image.width));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

void WriteGrayJpeg(const std::string& path, const GrayImage& gray, uint16_t dpi) {
  Image image;
  image.width = gray.width;
  image.height = gray.height;
  for (uint8_t v : gray.pixels) image.pixels.push_back({v, v, v});
  WriteJpegFile(path, image);
  // libjpeg writes a JFIF header with no unit: bytes 13 to 17 are the unit and the densities.
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::array<char, 18> head{};
  file.read(head.data(), head.size());
  ASSERT_EQ(std::string(head.data() + 6, 4), "JFIF");
  const std::array<char, 5> density = {1, static_cast<char>(dpi >> 8), static_cast<char>(dpi & 0xFF),
                                       static_cast<char>(dpi >> 8), static_cast<char>(dpi & 0xFF)};
  file.seekp(13);
  file.write(density.data(), density.size());
}

void WriteFramedPdf(const std::string& path, double width, double height) {
  // The frame 4% of the width thick, the square a third of the width, in PDF's units.
  const double border = width * 0.04, square = width / 3;
  std::ostringstream content;
  content << "0 g 0 0 " << width << " " << border << " re f 0 " << height - border << " " << width << " "
          << border << " re f 0 0 " << border << " " << height << " re f " << width - border << " 0 "
          << border << " " << height << " re f 0 " << height - border - square << " " << border + square
          << " " << border + square << " re f\n";
  const std::string stream = content.str();
  std::vector<std::string> objects = {
      "<</Type/Catalog/Pages 2 0 R>>",
      "<</Type/Pages/Kids[3 0 R]/Count 1>>",
      "<</Type/Page/Parent 2 0 R/MediaBox[0 0 " + std::to_string(width) + " " + std::to_string(height) +
          "]/Contents 4 0 R>>",
      "<</Length " + std::to_string(stream.size()) + ">>stream\n" + stream + "endstream",
  };
  std::ofstream(path, std::ios::binary) << qxdraw::PdfFile(objects);
}

DotBox DotsBox(const Bitmap& label) {
  DotBox box;
  for (uint32_t y = 0; y < label.height; ++y) {
    for (uint32_t x = 0; x < label.width; ++x) {
      if (!label.At(x, y)) continue;
      if (box.empty) {
        box = {x, y, x + 1, y + 1, false};
        continue;
      }
      box.left = std::min<int64_t>(box.left, x);
      box.right = std::max<int64_t>(box.right, x + 1);
      box.top = std::min<int64_t>(box.top, y);
      box.bottom = std::max<int64_t>(box.bottom, y + 1);
    }
  }
  return box;
}

int InkiestQuarter(const Bitmap& label, const DotBox& box) {
  std::array<size_t, 4> dots{};
  const int64_t midX = (box.left + box.right) / 2, midY = (box.top + box.bottom) / 2;
  for (int64_t y = box.top; y < box.bottom; ++y)
    for (int64_t x = box.left; x < box.right; ++x)
      if (label.At(static_cast<uint32_t>(x), static_cast<uint32_t>(y))) ++dots[(y >= midY) * 2 + (x >= midX)];
  return static_cast<int>(std::max_element(dots.begin(), dots.end()) - dots.begin());
}

}  // namespace qxtest
