// Gray content made into dots by error diffusion before the plug-in's threshold, as IPP's
// print-content-optimize asks: a photo's grays become a spread of dots of the same average
// darkness instead of black below the threshold and white above it. Bar codes (with their quiet
// zones) are left to the threshold, so that every bar keeps its edges; text is left to it in
// graphics. The diffused pixels are black or white, which the threshold keeps as they are.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "common/barcode/symbol.h"
#include "common/input/page_image.h"

namespace qxvn {

enum class Content {
  kAuto,      // as text: the threshold decides every dot
  kPhoto,     // every gray diffused
  kGraphics,  // mid grays diffused; near-black and near-white (text, lines) thresholded
  kText,      // the threshold decides every dot
};

std::optional<Content> ContentNamed(std::string_view name);

// Diffuses `page` (3 or 4 bytes a pixel) in place, outside `keep`.
void DiffuseContent(PageImage& page, Content content, std::span<const barcode::Box> keep);

}  // namespace qxvn
