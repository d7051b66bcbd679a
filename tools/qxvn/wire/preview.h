// What the printer would print for one page, as a 1-bit PNG at 300 dpi.
#pragma once

#include "tools/qxvn/io/atomic_output.h"
#include "tools/qxvn/wire/wire_reader.h"

namespace qxvn::wire {

// Taller pages are refused: a few bytes of feed packages could otherwise ask for gigabytes.
constexpr uint64_t kMaxPreviewLines = 1u << 20;

// The image is as wide as the page header's line width, or wider when a line reaches past it,
// so that every dot is shown. Throws ToolError.
void WritePreview(const Page& page, AtomicOutput& out);

}  // namespace qxvn::wire
