// Sample documents made here for the printer application tests: the page image of the sample
// label size as PNG, JPEG (and its decoded pixels) and PWG raster, and a two-page PDF.
#pragma once

#include <string>

#include "tests/tools/test_images.h"

namespace qxtest {

// The 48 x 76 mm label at 300 dpi as PAPPL lays it out.
inline constexpr uint32_t kLabelWidth = 566;
inline constexpr uint32_t kLabelHeight = 897;

// A page of dots either side of the threshold.
Image LabelPattern(bool colour);
// Baseline JPEG of the image; then the pixels libjpeg decodes from it.
void WriteJpegFile(const std::string& path, const Image& image);
Image DecodeJpegFile(const std::string& path);
// A PWG raster document of one sRGB 8-bit page.
void WritePwgRaster(const std::string& path, const Image& image);
// A PDF of two different label pages.
void WriteTwoPagePdf(const std::string& path);

}  // namespace qxtest
