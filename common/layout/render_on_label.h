// One page of a document, read and laid out on the label: the one way both the printer
// application and qxvn print place a page.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/input/page_source.h"
#include "common/layout/placement.h"

namespace qxvn {

// The image page a label was laid out from, and where it went on the label.
struct LaidOutFrom {
  PageImage page;  // empty for a PDF page, which is drawn at its placed size
  Placement placement;
  bool fittedToKeepWhole = false;  // fit instead of fill, so as not to cut what `keepWhole` found
};

// The parts of a document page (in its pixels, before it is turned) that must not be cut.
using KeepWhole = std::function<std::vector<DocumentArea>(const PageImage& document)>;

// Page `index` of `source` on the label `choice` describes, `bytesPerPixel` (3 or 4) bytes a
// pixel. A page drawn at any resolution (PDF) is drawn at its placed size, so that it needs no
// resampling; an image is resampled from its own resolution, unless only white would be cut
// from it at one pixel a dot (PlaceContent), and with `from` it is kept there with its
// placement. With `keepWhole`, a page that fill (or auto, filling) would cut into one of its
// areas is fit instead. Throws ToolError naming `name`.
PageImage RenderOnLabel(PageSource& source, size_t index, const LayoutChoice& choice, uint32_t bytesPerPixel,
                        const PageLimits& limits, const std::string& name, LaidOutFrom* from = nullptr,
                        const KeepWhole& keepWhole = {});

}  // namespace qxvn
