// A decoded page's dots as a gray image (0 for a dot, 255 for white), for the symbol reader.
#pragma once

#include "common/barcode/gray_image.h"
#include "common/wire/wire_reader.h"

namespace qxvn::wire {

// As wide as the preview of the page. A page of more than 65,536 lines is refused (ToolError).
barcode::GrayImage PageDots(const Page& page);

}  // namespace qxvn::wire
