// One page of a document, read and laid out on the label: the one way both the printer
// application and qxvn print place a page.
#pragma once

#include <string>

#include "common/input/page_source.h"
#include "common/layout/placement.h"

namespace qxvn {

// Page `index` of `source` on the label `choice` describes, `bytesPerPixel` (3 or 4) bytes a
// pixel. A page drawn at any resolution (PDF) is drawn at its placed size, so that it needs no
// resampling; an image is resampled from its own resolution, unless only white would be cut
// from it at one pixel a dot (PlaceContent). Throws ToolError naming `name`.
PageImage RenderOnLabel(PageSource& source, size_t index, const LayoutChoice& choice, uint32_t bytesPerPixel,
                        const PageLimits& limits, const std::string& name);

}  // namespace qxvn
