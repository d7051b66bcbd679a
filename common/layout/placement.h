// Where a document's page goes on a label: turned by the orientation asked for (or turned
// automatically), scaled by the print-scaling asked for, centred. Arithmetic only; the pixels
// are moved by ComposeLabel (label_page.h).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace qxvn {

// The IPP print-scaling keywords.
enum class Scaling {
  kAuto,     // as it is when it fits on the label; otherwise fill a borderless label, fit another
  kAutoFit,  // as it is when it fits in the printable area; otherwise fit
  kFit,      // as large as fits in the printable area, whole
  kFill,     // as small as covers the whole label, cropped
  kNone,     // at its own size, cropped
};

// The IPP orientation-requested values, and the automatic choice when none is asked.
enum class Orientation {
  kAutomatic,         // turned as landscape only when it fits the label turned and not upright
                      // (or, too large either way, when turning shrinks it less)
  kPortrait,          // 3: as it is
  kLandscape,         // 4: turned a quarter counter-clockwise
  kReverseLandscape,  // 5: turned a quarter clockwise
  kReversePortrait,   // 6: upside down
};

std::optional<Scaling> ScalingNamed(std::string_view name);
std::string_view NameOf(Scaling scaling);
std::optional<Orientation> OrientationNamed(std::string_view name);
// The IPP enum value; anything else (7 'none', absent) is automatic.
Orientation OrientationOfIpp(int value);

// The label, in dots at its resolution; margins are what clients are asked to leave.
struct LabelGeometry {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t left = 0, right = 0, top = 0, bottom = 0;  // margins
  uint32_t dpi = 300;

  bool Borderless() const { return left == 0 && right == 0 && top == 0 && bottom == 0; }
};

// A document page: its size in pixels and, when it has one, its own resolution.
struct DocumentGeometry {
  double width = 0;
  double height = 0;
  double dpiX = 0;  // 0: unknown
  double dpiY = 0;

  bool HasResolution() const { return dpiX > 0 && dpiY > 0; }
};

struct Placement {
  int quarterTurns = 0;  // clockwise quarter turns of the document, 0 to 3
  // The turned document's size on the label and its top-left corner there, in dots; a corner
  // left of or above the label, or a size past its end, means that part is cut off.
  uint32_t width = 0;
  uint32_t height = 0;
  int64_t left = 0;
  int64_t top = 0;
  uint32_t labelWidth = 0;
  uint32_t labelHeight = 0;
};

struct LayoutChoice {
  Scaling scaling = Scaling::kAuto;
  Orientation orientation = Orientation::kAutomatic;
  LabelGeometry label;
};

// Throws ToolError for a label without area. A document without a resolution is taken as one
// pixel a dot where it is printed at its own size.
Placement PlaceDocument(const DocumentGeometry& document, const LayoutChoice& choice);

// The part of a document page that is not white, in its pixels: [left, right) x [top, bottom).
struct ContentBox {
  uint32_t left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
};

// A page that `placed` (PlaceDocument's answer for `auto` or `auto-fit`) shrinks, whose pixels
// are the label's dots (it has no resolution, or the label's), and whose content fits on the
// label (in the printable area for `auto-fit`) at one pixel a dot, give or take the rounding
// PlaceDocument allows: that page at one pixel a dot, centred, moved as little as keeps its
// content on the label, the white around it cut off. Otherwise `placed`. `content` is asked for
// only when it decides.
Placement PlaceContent(const DocumentGeometry& document, const LayoutChoice& choice, const Placement& placed,
                       const std::function<ContentBox()>& content);

// The placement with a document of `width` x `height` dots centred where the placed one was: for
// a page drawn at the placed size (a PDF page), whose size may differ from it by rounding.
Placement Recentred(const Placement& placement, uint32_t width, uint32_t height);

// A rectangle of a document page in its pixels, before it is turned.
struct DocumentArea {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// The area on the label, in dots, for a document page of `width` x `height` pixels placed so.
DocumentArea OnLabel(const DocumentArea& area, const Placement& placement, double width, double height);

// `fill`, or `auto` that fills, cutting into one of `whole` (bar codes with their quiet zones)
// by more than the two dots of rounding: the choice with `fit` instead, which cuts nothing.
std::optional<LayoutChoice> FitInstead(const LayoutChoice& choice, const Placement& placement, double width,
                                       double height, std::span<const DocumentArea> whole);

}  // namespace qxvn
