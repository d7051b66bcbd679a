// JPEG files for tests, written and read back with libjpeg's defaults.
#pragma once

#include <string>

#include "tests/tools/test_images.h"

namespace qxtest {

// Baseline JPEG of the image at quality 90; then the pixels libjpeg decodes from a file.
void WriteJpegFile(const std::string& path, const Image& image);
Image DecodeJpegFile(const std::string& path);

}  // namespace qxtest
