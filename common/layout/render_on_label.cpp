#include "common/layout/render_on_label.h"

#include <cstdlib>

#include "common/layout/label_page.h"

namespace qxvn {

PageImage RenderOnLabel(PageSource& source, size_t index, const LayoutChoice& choice, uint32_t bytesPerPixel,
                        const PageLimits& limits, const std::string& name, LaidOutFrom* from,
                        const KeepWhole& keepWhole) {
  if (from) *from = LaidOutFrom{};
  // Only fill, and auto that may fill, cut; and only a placement past the label's edges (by more
  // than rounding) needs the document read.
  const bool mayCut = keepWhole && (choice.scaling == Scaling::kFill || choice.scaling == Scaling::kAuto);
  auto cuts = [](const Placement& p) {
    constexpr int64_t kRoundingDots = 2;
    return p.left < -kRoundingDots || p.top < -kRoundingDots ||
           p.left + p.width > int64_t{p.labelWidth} + kRoundingDots ||
           p.top + p.height > int64_t{p.labelHeight} + kRoundingDots;
  };
  if (std::optional<PageSource::PointSize> size = source.DrawnSize(index)) {
    constexpr double kPointsPerInch = 72;
    const DocumentGeometry points{size->width, size->height, kPointsPerInch, kPointsPerInch};
    Placement placement = PlaceDocument(points, choice);
    // The resolution that draws the page, before it is turned, at the placed size.
    const bool sideways = placement.quarterTurns % 2 != 0;
    const double across = sideways ? placement.height : placement.width;
    const double down = sideways ? placement.width : placement.height;
    source.SetResolution(across * kPointsPerInch / size->width, down * kPointsPerInch / size->height);
    PageImage page = source.RenderGrayOr(index, bytesPerPixel);
    // The renderer rounds the size its own way: a dot more or less is centred, not resampled.
    const uint32_t drawnWidth = sideways ? page.height : page.width;
    const uint32_t drawnHeight = sideways ? page.width : page.height;
    if (std::abs(static_cast<int64_t>(drawnWidth) - placement.width) <= 1 &&
        std::abs(static_cast<int64_t>(drawnHeight) - placement.height) <= 1)
      placement = Recentred(placement, drawnWidth, drawnHeight);
    if (mayCut && cuts(placement)) {
      const std::vector<DocumentArea> whole = keepWhole(page);
      if (auto fit = FitInstead(choice, placement, page.width, page.height, whole)) {
        page = PageImage{};
        if (from) from->fittedToKeepWhole = true;
        // Drawn again at the size that fits, without the check that chose it.
        return RenderOnLabel(source, index, *fit, bytesPerPixel, limits, name, nullptr, {});
      }
    }
    if (from) from->placement = placement;
    return ComposeLabel(page, placement, bytesPerPixel, limits, name);
  }
  PageImage page = source.RenderGrayOr(index, bytesPerPixel);
  const DocumentGeometry document{static_cast<double>(page.width), static_cast<double>(page.height),
                                  page.dpiX, page.dpiY};
  Placement placement =
      PlaceContent(document, choice, PlaceDocument(document, choice), [&page] { return InkBox(page); });
  bool fitted = false;
  if (mayCut && cuts(placement)) {
    if (auto fit = FitInstead(choice, placement, page.width, page.height, keepWhole(page))) {
      placement = PlaceDocument(document, *fit);
      fitted = true;
    }
  }
  PageImage label = ComposeLabel(page, placement, bytesPerPixel, limits, name);
  if (from) *from = LaidOutFrom{std::move(page), placement, fitted};
  return label;
}

}  // namespace qxvn
