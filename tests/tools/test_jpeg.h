// JPEG files for tests, written and read back with libjpeg's defaults.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tests/tools/test_images.h"

namespace qxtest {

// Baseline JPEG of the image at quality 90; then the pixels libjpeg decodes from a file.
void WriteJpegFile(const std::string& path, const Image& image);
Image DecodeJpegFile(const std::string& path);
// A CMYK JPEG as Adobe's programs write it: `inverted` gives 0xCCMMYYKK with 0xFF for no ink.
void WriteAdobeCmykJpegFile(const std::string& path, uint32_t width, uint32_t height,
                            const std::function<uint32_t(uint32_t x, uint32_t y)>& inverted);

}  // namespace qxtest
