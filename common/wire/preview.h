// What the printer would print for one page, as a 1-bit PNG at 300 dpi.
#pragma once

#include <cstdint>
#include <vector>

#include "common/io/atomic_output.h"
#include "common/wire/wire_reader.h"

namespace qxvn::wire {

// Taller pages are refused: a few bytes of feed packages could otherwise ask for gigabytes.
constexpr uint64_t kMaxPreviewLines = 1u << 20;

// The picture's width in dots: the page header's line width, or more when a line reaches past
// it, so that every dot is shown.
uint32_t PreviewWidth(const Page& page);

// Throws ToolError.
void WritePreview(const Page& page, AtomicOutput& out);

// The same PNG, byte for byte, in memory. Throws ToolError.
std::vector<uint8_t> PreviewPng(const Page& page);

}  // namespace qxvn::wire
