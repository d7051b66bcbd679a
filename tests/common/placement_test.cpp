// Where a page lands on the label: the scaling modes, the automatic rules, the turns and the
// centring, with sizes worked out by hand for the 48 x 76 mm label (566 x 897 dots).
#include "common/layout/placement.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/tool_error.h"

namespace qxvn {
namespace {

LayoutChoice On48x76(Scaling scaling, Orientation orientation = Orientation::kAutomatic) {
  LayoutChoice choice;
  choice.scaling = scaling;
  choice.orientation = orientation;
  choice.label.width = 566;
  choice.label.height = 897;
  return choice;
}

struct Box {
  uint32_t width, height;
  int64_t left, top;
  int turns;
};

void ExpectPlaced(const Placement& p, const Box& box) {
  EXPECT_EQ(p.width, box.width);
  EXPECT_EQ(p.height, box.height);
  EXPECT_EQ(p.left, box.left);
  EXPECT_EQ(p.top, box.top);
  EXPECT_EQ(p.quarterTurns, box.turns);
  EXPECT_EQ(p.labelWidth, 566u);
  EXPECT_EQ(p.labelHeight, 897u);
}

TEST(Placement, NamesAndIppValues) {
  for (const char* name : {"auto", "auto-fit", "fit", "fill", "none"})
    EXPECT_EQ(NameOf(*ScalingNamed(name)), name);
  EXPECT_FALSE(ScalingNamed("Fit"));
  EXPECT_FALSE(ScalingNamed(""));
  EXPECT_EQ(OrientationNamed("reverse-landscape"), Orientation::kReverseLandscape);
  EXPECT_FALSE(OrientationNamed("upside-down"));
  EXPECT_EQ(OrientationOfIpp(3), Orientation::kPortrait);
  EXPECT_EQ(OrientationOfIpp(4), Orientation::kLandscape);
  EXPECT_EQ(OrientationOfIpp(5), Orientation::kReverseLandscape);
  EXPECT_EQ(OrientationOfIpp(6), Orientation::kReversePortrait);
  EXPECT_EQ(OrientationOfIpp(7), Orientation::kAutomatic);  // 'none'
  EXPECT_EQ(OrientationOfIpp(0), Orientation::kAutomatic);
}

// 384 x 608 pixels at 203 dpi is 567.5 x 898.5 dots: half a dot over the label each way.
TEST(Placement, ALabelImageAt203DpiFillsTheLabelWithAutoAndIsCutWithNone) {
  const DocumentGeometry label203{384, 608, 203, 203};
  ExpectPlaced(PlaceDocument(label203, On48x76(Scaling::kAuto)), {566, 896, 0, 0, 0});
  ExpectPlaced(PlaceDocument(label203, On48x76(Scaling::kAutoFit)), {566, 896, 0, 0, 0});
  ExpectPlaced(PlaceDocument(label203, On48x76(Scaling::kNone)), {567, 899, -1, -1, 0});
  // At 600 dpi the same label is 1134 x 1796 pixels.
  ExpectPlaced(PlaceDocument({1134, 1796, 600, 600}, On48x76(Scaling::kAuto)), {566, 896, 0, 0, 0});
}

TEST(Placement, ALabelImageADotOverTheLabelKeepsItsPixels) {
  // 48 x 76 mm at 300 dpi rounds to 567 x 898 pixels, a dot over the 566 x 897 dot label: cut by a
  // dot, not resampled, whether its resolution is given or not.
  ExpectPlaced(PlaceDocument({567, 898, 300, 300}, On48x76(Scaling::kAuto)), {567, 898, -1, -1, 0});
  ExpectPlaced(PlaceDocument({567, 898, 0, 0}, On48x76(Scaling::kAuto)), {567, 898, -1, -1, 0});
  // Three dots over is a page of another size: brought to the label.
  ExpectPlaced(PlaceDocument({569, 901, 300, 300}, On48x76(Scaling::kAuto)), {566, 896, 0, 0, 0});
}

TEST(Placement, FitKeepsAllOfThePageAndFillCoversTheLabel) {
  const DocumentGeometry tall{1000, 2000, 0, 0};
  ExpectPlaced(PlaceDocument(tall, On48x76(Scaling::kFit)), {449, 897, 58, 0, 0});
  ExpectPlaced(PlaceDocument(tall, On48x76(Scaling::kFill)), {566, 1132, 0, -118, 0});
  const DocumentGeometry square{100, 100, 0, 0};
  ExpectPlaced(PlaceDocument(square, On48x76(Scaling::kFit)), {566, 566, 0, 165, 0});
  ExpectPlaced(PlaceDocument(square, On48x76(Scaling::kFill)), {897, 897, -166, 0, 0});
  // Without a resolution, none is one pixel a dot.
  ExpectPlaced(PlaceDocument(square, On48x76(Scaling::kNone)), {100, 100, 233, 398, 0});
}

TEST(Placement, AutoPrintsWhatFitsAtItsSizeAndScalesTheRest) {
  // 708 x 944 pixels at 600 dpi: 354 x 472 dots, centred as it is.
  const DocumentGeometry small{708, 944, 600, 600};
  ExpectPlaced(PlaceDocument(small, On48x76(Scaling::kAuto)), {354, 472, 106, 212, 0});
  ExpectPlaced(PlaceDocument(small, On48x76(Scaling::kAutoFit)), {354, 472, 106, 212, 0});
  // Letter at 72 dpi is larger than the label: a borderless label is filled...
  const DocumentGeometry letter{612, 792, 72, 72};
  ExpectPlaced(PlaceDocument(letter, On48x76(Scaling::kAuto)), {693, 897, -64, 0, 0});
  // ...a label with margins gets it whole, centred in the printable area; auto-fit fits either.
  LayoutChoice margins = On48x76(Scaling::kAuto);
  margins.label.left = margins.label.right = margins.label.top = 12;
  margins.label.bottom = 36;
  ExpectPlaced(PlaceDocument(letter, margins), {542, 701, 12, 86, 0});
  ExpectPlaced(PlaceDocument(letter, On48x76(Scaling::kAutoFit)), {566, 732, 0, 82, 0});
  // An image without a resolution has no size of its own to keep.
  ExpectPlaced(PlaceDocument({1132, 1794, 0, 0}, On48x76(Scaling::kAuto)), {566, 897, 0, 0, 0});
  // auto-fit measures against the printable area: what fits the label but not the area is fitted.
  margins.scaling = Scaling::kAutoFit;
  ExpectPlaced(PlaceDocument({1134, 1796, 600, 600}, margins), {536, 849, 15, 12, 0});
}

TEST(Placement, OrientationTurnsAndTheAutomaticTurn) {
  // 40 x 30 mm at 300 dpi, printed at its size.
  const DocumentGeometry wide{472, 354, 300, 300};
  ExpectPlaced(PlaceDocument(wide, On48x76(Scaling::kNone, Orientation::kPortrait)), {472, 354, 47, 271, 0});
  ExpectPlaced(PlaceDocument(wide, On48x76(Scaling::kNone, Orientation::kLandscape)),
               {354, 472, 106, 212, 3});
  ExpectPlaced(PlaceDocument(wide, On48x76(Scaling::kNone, Orientation::kReverseLandscape)),
               {354, 472, 106, 212, 1});
  ExpectPlaced(PlaceDocument(wide, On48x76(Scaling::kNone, Orientation::kReversePortrait)),
               {472, 354, 47, 271, 2});
  // Unasked, a page that fits upright stays upright, even a landscape one on a portrait label
  // (a 44 x 18 mm bar code at 203 dpi); one that fits only turned is turned as landscape turns
  // it; one too large either way is turned when its long side lies across the label's short one.
  ExpectPlaced(PlaceDocument(wide, On48x76(Scaling::kNone)), {472, 354, 47, 271, 0});
  EXPECT_EQ(PlaceDocument({351, 144, 203, 203}, On48x76(Scaling::kAuto)).quarterTurns, 0);
  EXPECT_EQ(PlaceDocument({354, 472, 300, 300}, On48x76(Scaling::kNone)).quarterTurns, 0);
  ExpectPlaced(PlaceDocument({800, 500, 300, 300}, On48x76(Scaling::kNone)), {500, 800, 33, 48, 3});
  EXPECT_EQ(PlaceDocument({3508, 2480, 300, 300}, On48x76(Scaling::kFit)).quarterTurns, 3);
  EXPECT_EQ(PlaceDocument({2480, 3508, 300, 300}, On48x76(Scaling::kFit)).quarterTurns, 0);
  EXPECT_EQ(PlaceDocument({400, 400, 0, 0}, On48x76(Scaling::kFit)).quarterTurns, 0);
  // The turn is judged on the page's size in inches, not its pixels.
  EXPECT_EQ(PlaceDocument({400, 300, 100, 50}, On48x76(Scaling::kFit)).quarterTurns, 0);
  // A landscape label takes a portrait page turned.
  LayoutChoice wideLabel = On48x76(Scaling::kFit);
  wideLabel.label.width = 472;
  wideLabel.label.height = 354;
  const Placement turned = PlaceDocument({354, 472, 0, 0}, wideLabel);
  EXPECT_EQ(turned.quarterTurns, 3);
  EXPECT_EQ(turned.width, 472u);
  EXPECT_EQ(turned.height, 354u);
}

TEST(Placement, ResolutionsMayDifferAcrossAndDown) {
  ExpectPlaced(PlaceDocument({100, 100, 100, 200}, On48x76(Scaling::kNone, Orientation::kPortrait)),
               {300, 150, 133, 373, 0});
}

// A page of 576 x 900 pixels (the head's width) that auto would shrink onto the 566 x 897 dot
// label: where only white lies outside the label, the page keeps its pixels and the white is cut;
// content up to two dots over is centred (a dot cut each side); more is still resampled.
TEST(Placement, WhiteOverflowIsCutNotScaled) {
  struct Case {
    const char* name;
    DocumentGeometry page;
    LayoutChoice choice;
    ContentBox content;
    Box placed;
  };
  LayoutChoice margins = On48x76(Scaling::kAutoFit);
  margins.label.left = margins.label.right = margins.label.top = margins.label.bottom = 12;
  const DocumentGeometry wide{576, 900, 0, 0};
  const std::vector<Case> cases = {
      {"centred content", wide, On48x76(Scaling::kAuto), {5, 1, 571, 899}, {576, 900, -5, -2, 0}},
      {"content at the left edge moves right",
       wide,
       On48x76(Scaling::kAuto),
       {0, 10, 500, 890},
       {576, 900, 0, -2, 0}},
      {"content at the right edge moves left",
       wide,
       On48x76(Scaling::kAuto),
       {100, 10, 576, 890},
       {576, 900, -10, -2, 0}},
      {"two dots over: centred on the content",
       wide,
       On48x76(Scaling::kAuto),
       {0, 1, 568, 899},
       {576, 900, -1, -2, 0}},
      {"a blank page", wide, On48x76(Scaling::kAuto), {}, {576, 900, -5, -2, 0}},
      {"at the label's resolution",
       {576, 900, 300, 300},
       On48x76(Scaling::kAuto),
       {5, 1, 571, 899},
       {576, 900, -5, -2, 0}},
      {"auto-fit keeps it in the printable area", wide, margins, {20, 20, 556, 880}, {576, 900, -5, -2, 0}},
      // Turned a quarter counter-clockwise, the page's rows 5..571 become the label's columns and its
      // columns 0..890 the rows 10..900, moved up a dot onto the label.
      {"turned", {900, 576, 0, 0}, On48x76(Scaling::kAuto), {0, 5, 890, 571}, {576, 900, -5, -3, 3}},
      {"content too wide", wide, On48x76(Scaling::kAuto), {0, 0, 569, 900}, {566, 884, 0, 6, 0}},
      {"too wide for the printable area", wide, margins, {10, 20, 556, 880}, {542, 847, 12, 25, 0}},
      {"fit is asked for", wide, On48x76(Scaling::kFit), {5, 1, 571, 899}, {566, 884, 0, 6, 0}},
      {"another resolution",
       {1152, 1800, 600, 600},
       On48x76(Scaling::kAuto),
       {10, 2, 1142, 1798},
       {566, 884, 0, 6, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectPlaced(PlaceContent(c.page, c.choice, PlaceDocument(c.page, c.choice), [&] { return c.content; }),
                 c.placed);
  }
  // The content is not looked for where nothing would be resampled.
  bool asked = false;
  PlaceContent({566, 897, 0, 0}, On48x76(Scaling::kAuto),
               PlaceDocument({566, 897, 0, 0}, On48x76(Scaling::kAuto)), [&] {
                 asked = true;
                 return ContentBox{};
               });
  EXPECT_FALSE(asked);
}

TEST(Placement, RecentredKeepsTheCentre) {
  const Placement p = PlaceDocument({1000, 2000, 0, 0}, On48x76(Scaling::kFit));
  const Placement wider = Recentred(p, 450, 896);
  EXPECT_EQ(wider.left, 57);
  EXPECT_EQ(wider.top, 0);
  EXPECT_EQ(wider.width, 450u);
}

TEST(Placement, RefusesWhatHasNoAreaOrWouldBeEndless) {
  EXPECT_THROW(PlaceDocument({0, 10, 0, 0}, On48x76(Scaling::kFit)), ToolError);
  LayoutChoice empty = On48x76(Scaling::kFit);
  empty.label.height = 0;
  EXPECT_THROW(PlaceDocument({10, 10, 0, 0}, empty), ToolError);
  // 1 x 100000 pixels filling a label 566 dots wide would be 56 million dots long.
  EXPECT_THROW(PlaceDocument({1, 100000, 0, 0}, On48x76(Scaling::kFill, Orientation::kPortrait)), ToolError);
  // Margins wider than the label leave it whole.
  LayoutChoice wideMargins = On48x76(Scaling::kFit);
  wideMargins.label.left = wideMargins.label.right = 400;
  ExpectPlaced(PlaceDocument({566, 897, 0, 0}, wideMargins), {566, 897, 0, 0, 0});
}

}  // namespace
}  // namespace qxvn

namespace qxvn {
namespace {

// A 600 x 1200 pixel page at 300 dpi filled onto the 566 x 897 label: scale 566 / 600 = 0.9433,
// 566 x 1132 dots from y = -118. A bar code at y 100..300 of the page would start 23.7 dots above
// the label: fit instead. One at 200..1000 lies at 70.7..825.3: filled as asked.
TEST(Placement, FillThatWouldCutABarCodeIsFitInstead) {
  const DocumentGeometry page{600, 1200, 300, 300};
  for (Scaling scaling : {Scaling::kAuto, Scaling::kFill}) {
    const LayoutChoice choice = On48x76(scaling);
    const Placement filled = PlaceDocument(page, choice);
    ASSERT_EQ(filled.top, -118);
    const DocumentArea cut[] = {{50, 100, 550, 300}};
    const DocumentArea inside[] = {{50, 200, 550, 1000}};
    const DocumentArea on = OnLabel(cut[0], filled, 600, 1200);
    EXPECT_NEAR(on.top, -23.67, 0.01);
    EXPECT_NEAR(on.left, 47.17, 0.01);
    const auto fit = FitInstead(choice, filled, 600, 1200, cut);
    ASSERT_TRUE(fit);
    EXPECT_EQ(fit->scaling, Scaling::kFit);
    EXPECT_FALSE(FitInstead(choice, filled, 600, 1200, inside));
  }
  // None cuts by request.
  const LayoutChoice none = On48x76(Scaling::kNone);
  const DocumentArea cut[] = {{50, 100, 550, 300}};
  EXPECT_FALSE(FitInstead(none, PlaceDocument(page, none), 600, 1200, cut));
}

}  // namespace
}  // namespace qxvn
