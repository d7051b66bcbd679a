// A document's page made into the label's page: turned, resampled to its placed size and
// centred on white, the size of the label.
#pragma once

#include <string>

#include "common/input/page_image.h"
#include "common/input/page_source.h"
#include "common/layout/placement.h"

namespace qxvn {

// `page` (1, 3 or 4 bytes a pixel) laid out as `placement` says, in a new page of the label's
// size with `bytesPerPixel` (3 or 4) bytes a pixel. A page resized on the way is resampled by
// averaging the area each dot covers, so that a bar keeps its average width at any scale; at its
// own size it is copied (a page that is the label already, unturned, is returned as it is). Throws ToolError
// naming `source` for a label over `limits`.
PageImage ComposeLabel(const PageImage& page, const Placement& placement, uint32_t bytesPerPixel,
                       const PageLimits& limits, const std::string& source);

// The part of `page` (1, 3 or 4 bytes a pixel) that is not white; empty for a white page.
ContentBox InkBox(const PageImage& page);

// `page` turned clockwise by `quarterTurns` quarters (the page itself when 0).
PageImage TurnPage(const PageImage& page, int quarterTurns, const std::string& source);

}  // namespace qxvn
