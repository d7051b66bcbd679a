#include "tests/tools/test_jpeg.h"

// clang-format off
#include <cstddef>  // jpeglib.h needs size_t and FILE declared before it
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <functional>
#include <vector>

namespace qxtest {

namespace {

// A JPEG at quality 90 with libjpeg's defaults; `fill` writes the samples of row y.
void Compress(const std::string& path, uint32_t width, uint32_t height, int components, J_COLOR_SPACE space,
              const std::function<void(uint32_t y, uint8_t* row)>& fill) {
  FILE* file = std::fopen(path.c_str(), "wb");
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);  // for CMYK this writes the Adobe marker
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(size_t{width} * static_cast<size_t>(components));
  for (uint32_t y = 0; y < height; ++y) {
    fill(y, row.data());
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
}

}  // namespace

void WriteJpegFile(const std::string& path, const Image& image) {
  Compress(path, image.width, image.height, 3, JCS_RGB, [&](uint32_t y, uint8_t* row) {
    for (uint32_t x = 0; x < image.width; ++x) {
      row[x * 3] = image.At(x, y).r;
      row[x * 3 + 1] = image.At(x, y).g;
      row[x * 3 + 2] = image.At(x, y).b;
    }
  });
}

Image DecodeJpegFile(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  jpeg_decompress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  Image image;
  image.width = info.output_width;
  image.height = info.output_height;
  std::vector<uint8_t> row(image.width * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
    for (uint32_t x = 0; x < image.width; ++x)
      image.pixels.push_back({row[x * 3], row[x * 3 + 1], row[x * 3 + 2]});
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(file);
  return image;
}

void WriteAdobeCmykJpegFile(const std::string& path, uint32_t width, uint32_t height,
                            const std::function<uint32_t(uint32_t x, uint32_t y)>& inverted) {
  Compress(path, width, height, 4, JCS_CMYK, [&](uint32_t y, uint8_t* row) {
    for (uint32_t x = 0; x < width; ++x)
      for (int i = 0; i < 4; ++i) row[x * 4 + i] = static_cast<uint8_t>(inverted(x, y) >> (24 - 8 * i));
  });
}

}  // namespace qxtest
