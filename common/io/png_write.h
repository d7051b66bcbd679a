// Writes a PNG image row by row, with its resolution recorded in the file.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "common/io/atomic_output.h"

namespace qxvn {

struct PngLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;
  int colorType = 0;  // a PNG_COLOR_TYPE_* value
  uint32_t dotsPerInch = 300;
};

using PngRows = std::function<const uint8_t*(uint32_t)>;

// `row(y)` gives the packed bytes of row y, top first. Throws ToolError when writing fails.
void WritePng(AtomicOutput& out, const PngLayout& layout, const PngRows& row);

// The same PNG as bytes in memory.
std::vector<uint8_t> EncodePng(const PngLayout& layout, const PngRows& row);

}  // namespace qxvn
