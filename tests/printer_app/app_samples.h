// Sample documents made here for the printer application tests: the page image of the sample
// label size as PNG and PWG raster (JPEG: tests/tools/test_jpeg.h), and a two-page PDF.
#pragma once

#include <string>
#include <vector>

#include "tests/tools/test_images.h"
#include "tests/tools/test_jpeg.h"

namespace qxtest {

// The 48 x 76 mm label at 300 dpi as PAPPL lays it out.
inline constexpr uint32_t kLabelWidth = 566;
inline constexpr uint32_t kLabelHeight = 897;

// A page of dots either side of the threshold.
Image LabelPattern(bool colour);
// A PWG raster document of one sRGB 8-bit page.
// An Apple raster (URF) when `apple`.
void WritePwgRaster(const std::string& path, const Image& image, bool apple = false);
// A PDF of two different label pages.
void WriteTwoPagePdf(const std::string& path);
// A PDF of many label pages (a job that prints for a while).
void WriteLongPdf(const std::string& path, int pages);
// A PDF of label pages, each with its own drawing (PDF path operators).
void WriteLabelPdf(const std::string& path, const std::vector<std::string>& bars);

}  // namespace qxtest
