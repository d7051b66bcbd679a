#include "common/layout/placement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>
#include <utility>

#include "common/tool_error.h"

namespace qxvn {
namespace {

constexpr std::array<std::pair<std::string_view, Scaling>, 5> kScalingNames{{
    {"auto", Scaling::kAuto},
    {"auto-fit", Scaling::kAutoFit},
    {"fit", Scaling::kFit},
    {"fill", Scaling::kFill},
    {"none", Scaling::kNone},
}};

constexpr std::array<std::pair<std::string_view, Orientation>, 4> kOrientationNames{{
    {"portrait", Orientation::kPortrait},
    {"landscape", Orientation::kLandscape},
    {"reverse-landscape", Orientation::kReverseLandscape},
    {"reverse-portrait", Orientation::kReversePortrait},
}};

// A placed side longer than this is refused rather than computed: 1.4 km at 300 dpi.
constexpr double kMaxPlacedDots = double{1 << 24};

int QuarterTurns(Orientation orientation, double width, double height, const LabelGeometry& label) {
  switch (orientation) {
    case Orientation::kPortrait:
      return 0;
    case Orientation::kLandscape:
      return 3;
    case Orientation::kReverseLandscape:
      return 1;
    case Orientation::kReversePortrait:
      return 2;
    case Orientation::kAutomatic:
      break;
  }
  // A page that fits on the label upright stays upright; one that fits only turned is turned as
  // landscape is; one too large either way (it is shrunk) is turned when its long side lies
  // across the label's short side, so that it is shrunk the least. Fitting allows the
  // millimetre of rounding that PlaceDocument brings to the label's size.
  const double slack = label.dpi / 25.4;
  auto fits = [&](double w, double h) { return w <= label.width + slack && h <= label.height + slack; };
  if (fits(width, height)) return 0;
  if (fits(height, width)) return 3;
  const bool documentWide = width > height;
  const bool documentTall = height > width;
  const bool labelWide = label.width > label.height;
  const bool labelTall = label.height > label.width;
  return (documentWide && labelTall) || (documentTall && labelWide) ? 3 : 0;
}

// Floor of a / 2 for a signed a.
int64_t HalfDown(int64_t a) { return a >= 0 ? a / 2 : -((-a + 1) / 2); }

}  // namespace

std::optional<Scaling> ScalingNamed(std::string_view name) {
  for (const auto& [text, value] : kScalingNames)
    if (text == name) return value;
  return std::nullopt;
}

std::string_view NameOf(Scaling scaling) {
  for (const auto& [text, value] : kScalingNames)
    if (value == scaling) return text;
  return "auto";
}

std::optional<Orientation> OrientationNamed(std::string_view name) {
  for (const auto& [text, value] : kOrientationNames)
    if (text == name) return value;
  return std::nullopt;
}

Orientation OrientationOfIpp(int value) {
  switch (value) {
    case 3:
      return Orientation::kPortrait;
    case 4:
      return Orientation::kLandscape;
    case 5:
      return Orientation::kReverseLandscape;
    case 6:
      return Orientation::kReversePortrait;
    default:
      return Orientation::kAutomatic;
  }
}

Placement PlaceDocument(const DocumentGeometry& document, const LayoutChoice& choice) {
  const LabelGeometry& label = choice.label;
  if (label.width == 0 || label.height == 0 || label.dpi == 0) throw ToolError("the label has no area");
  if (!(document.width >= 1 && document.height >= 1)) throw ToolError("the page has no pixels");

  // The document's size in label dots at its own size, before it is turned.
  const bool known = document.HasResolution();
  double width = known ? document.width * label.dpi / document.dpiX : document.width;
  double height = known ? document.height * label.dpi / document.dpiY : document.height;

  Placement placement;
  placement.labelWidth = label.width;
  placement.labelHeight = label.height;
  placement.quarterTurns = QuarterTurns(choice.orientation, width, height, label);
  if (placement.quarterTurns % 2) std::swap(width, height);

  // The printable area; margins that leave nothing are ignored.
  int64_t areaLeft = label.left, areaTop = label.top;
  int64_t areaWidth = int64_t{label.width} - label.left - label.right;
  int64_t areaHeight = int64_t{label.height} - label.top - label.bottom;
  if (areaWidth < 1 || areaHeight < 1) {
    areaLeft = areaTop = 0;
    areaWidth = label.width;
    areaHeight = label.height;
  }

  const double fitArea = std::min(areaWidth / width, areaHeight / height);
  const double fitLabel = std::min(label.width / width, label.height / height);
  const double fillLabel = std::max(label.width / width, label.height / height);
  // A document made for the label comes out a fraction of a dot larger from its own rounding
  // (48 mm at 203 dpi is 383.6 pixels): up to a millimetre over still counts as fitting, and
  // is brought to the label's size rather than cut.
  const double slack = label.dpi / 25.4;
  auto fitsIn = [&](double w, double h) { return known && width <= w + slack && height <= h + slack; };

  double scale = 1;
  bool inArea = false;  // centred in the printable area rather than on the label
  switch (choice.scaling) {
    case Scaling::kNone:
      break;
    case Scaling::kFill:
      scale = fillLabel;
      break;
    case Scaling::kFit:
      scale = fitArea;
      inArea = true;
      break;
    case Scaling::kAutoFit:
      scale = fitsIn(areaWidth, areaHeight) ? std::min(1.0, fitArea) : fitArea;
      inArea = true;
      break;
    case Scaling::kAuto:
      // An image with no size of its own was made for whatever it is printed on: it is brought
      // to the label itself, never shrunk into the margins a client is told of, so an image of
      // the label's dots prints one pixel a dot.
      if (!known) {
        scale = fitLabel;
      } else if (fitsIn(label.width, label.height)) {
        scale = std::min(1.0, fitLabel);
      } else if (label.Borderless()) {
        scale = fillLabel;
      } else {
        scale = fitArea;
        inArea = true;
      }
      break;
  }

  // A scale that changes no side by more than two dots is rounding (a 48 x 76 mm label image of
  // 567 x 898 pixels on a label of 566 x 897 dots): the page keeps its pixels, centred, rather
  // than being resampled; at most a dot is cut at each edge.
  constexpr double kRoundingDots = 2;
  const bool pixelsAreDots =
      std::round(width) == (placement.quarterTurns % 2 ? document.height : document.width) &&
      std::round(height) == (placement.quarterTurns % 2 ? document.width : document.height);
  if (pixelsAreDots && std::abs(std::round(width * scale) - std::round(width)) <= kRoundingDots &&
      std::abs(std::round(height * scale) - std::round(height)) <= kRoundingDots)
    scale = 1;
  const double placedWidth = std::max(1.0, std::round(width * scale));
  const double placedHeight = std::max(1.0, std::round(height * scale));
  if (!(placedWidth <= kMaxPlacedDots && placedHeight <= kMaxPlacedDots))
    throw ToolError("the page would be over " + std::to_string(static_cast<uint64_t>(kMaxPlacedDots)) +
                    " dots long on the label");
  placement.width = static_cast<uint32_t>(placedWidth);
  placement.height = static_cast<uint32_t>(placedHeight);
  if (!inArea) {
    areaLeft = areaTop = 0;
    areaWidth = label.width;
    areaHeight = label.height;
  }
  placement.left = areaLeft + HalfDown(areaWidth - placement.width);
  placement.top = areaTop + HalfDown(areaHeight - placement.height);
  return placement;
}

Placement PlaceContent(const DocumentGeometry& document, const LayoutChoice& choice, const Placement& placed,
                       const std::function<ContentBox()>& content) {
  const LabelGeometry& label = choice.label;
  const bool sideways = placed.quarterTurns % 2 != 0;
  const double width = sideways ? document.height : document.width;
  const double height = sideways ? document.width : document.height;
  const bool shrunk = placed.width < width || placed.height < height;
  const bool pixelsAreDots =
      !document.HasResolution() || (document.dpiX == label.dpi && document.dpiY == label.dpi);
  if ((choice.scaling != Scaling::kAuto && choice.scaling != Scaling::kAutoFit) || !shrunk ||
      !pixelsAreDots || width > kMaxPlacedDots || height > kMaxPlacedDots)
    return placed;

  // The area the content must lie in; margins that leave nothing are ignored.
  int64_t areaLeft = 0, areaTop = 0, areaWidth = label.width, areaHeight = label.height;
  const int64_t printableWidth = int64_t{label.width} - label.left - label.right;
  const int64_t printableHeight = int64_t{label.height} - label.top - label.bottom;
  if (choice.scaling == Scaling::kAutoFit && printableWidth >= 1 && printableHeight >= 1) {
    areaLeft = label.left;
    areaTop = label.top;
    areaWidth = printableWidth;
    areaHeight = printableHeight;
  }
  // The content in the turned page's pixels.
  const ContentBox box = content();
  const auto pageWidth = static_cast<int64_t>(document.width),
             pageHeight = static_cast<int64_t>(document.height);
  int64_t x0 = box.left, x1 = box.right, y0 = box.top, y1 = box.bottom;
  switch (placed.quarterTurns & 3) {
    case 1:  // clockwise: a row of the page becomes a column, read from the right
      std::tie(x0, x1, y0, y1) =
          std::tuple{pageHeight - box.bottom, pageHeight - box.top, box.left, box.right};
      break;
    case 2:
      std::tie(x0, x1, y0, y1) = std::tuple{pageWidth - box.right, pageWidth - box.left,
                                            pageHeight - box.bottom, pageHeight - box.top};
      break;
    case 3:
      std::tie(x0, x1, y0, y1) = std::tuple{box.top, box.bottom, pageWidth - box.right, pageWidth - box.left};
      break;
    default:
      break;
  }
  constexpr int64_t kRoundingDots = 2;
  if (!box.Empty() && (x1 - x0 > areaWidth + kRoundingDots || y1 - y0 > areaHeight + kRoundingDots))
    return placed;

  Placement out = placed;
  out.width = static_cast<uint32_t>(width);
  out.height = static_cast<uint32_t>(height);
  // Centred on the area; then moved just enough to bring the content onto it, or, where it is
  // the area's size give or take a dot, the content centred.
  auto position = [](int64_t start, int64_t size, int64_t page, int64_t c0, int64_t c1, bool empty) {
    const int64_t centred = start + HalfDown(size - page);
    if (empty) return centred;
    if (c1 - c0 > size) return start + HalfDown(size - (c1 - c0)) - c0;
    return std::min(std::max(centred, start - c0), start + size - c1);
  };
  out.left = position(areaLeft, areaWidth, static_cast<int64_t>(width), x0, x1, box.Empty());
  out.top = position(areaTop, areaHeight, static_cast<int64_t>(height), y0, y1, box.Empty());
  return out;
}

Placement Recentred(const Placement& placement, uint32_t width, uint32_t height) {
  Placement out = placement;
  out.width = width;
  out.height = height;
  // Twice the centre, to stay in whole numbers.
  out.left = HalfDown(2 * placement.left + placement.width - width);
  out.top = HalfDown(2 * placement.top + placement.height - height);
  return out;
}

DocumentArea OnLabel(const DocumentArea& area, const Placement& placement, double width, double height) {
  // The corners turned clockwise with the page, in the turned page's size.
  DocumentArea turned = area;
  double turnedWidth = width, turnedHeight = height;
  switch (placement.quarterTurns) {
    case 1:
      turned = {height - area.bottom, area.left, height - area.top, area.right};
      std::swap(turnedWidth, turnedHeight);
      break;
    case 2:
      turned = {width - area.right, height - area.bottom, width - area.left, height - area.top};
      break;
    case 3:
      turned = {area.top, width - area.right, area.bottom, width - area.left};
      std::swap(turnedWidth, turnedHeight);
      break;
    default:
      break;
  }
  const double sx = placement.width / turnedWidth, sy = placement.height / turnedHeight;
  const auto left = static_cast<double>(placement.left), top = static_cast<double>(placement.top);
  return {left + turned.left * sx, top + turned.top * sy, left + turned.right * sx, top + turned.bottom * sy};
}

std::optional<LayoutChoice> FitInstead(const LayoutChoice& choice, const Placement& placement, double width,
                                       double height, std::span<const DocumentArea> whole) {
  if (choice.scaling != Scaling::kFill && choice.scaling != Scaling::kAuto) return std::nullopt;
  constexpr double kRoundingDots = 2;
  for (const DocumentArea& area : whole) {
    const DocumentArea on = OnLabel(area, placement, width, height);
    if (on.left < -kRoundingDots || on.top < -kRoundingDots ||
        on.right > placement.labelWidth + kRoundingDots ||
        on.bottom > placement.labelHeight + kRoundingDots) {
      LayoutChoice fit = choice;
      fit.scaling = Scaling::kFit;
      return fit;
    }
  }
  return std::nullopt;
}

}  // namespace qxvn
