// The pixels of a laid-out label: turns, copies at the page's own size, area resampling that
// keeps a bar's ink, cropping, white around the page, and the limit on the label's size.
#include "common/layout/label_page.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/tool_error.h"

namespace qxvn {
namespace {

// A page of `bytesPerPixel` whose every channel at (x, y) is `value(x, y)`.
PageImage GrayPage(uint32_t width, uint32_t height, uint32_t bytesPerPixel,
                   const std::function<uint8_t(uint32_t, uint32_t)>& value) {
  PageImage page = AllocatePage(width, height, bytesPerPixel, "test");
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t c = 0; c < bytesPerPixel; ++c) page.Row(y)[x * bytesPerPixel + c] = value(x, y);
  return page;
}

uint8_t At(const PageImage& page, uint32_t x, uint32_t y, uint32_t channel = 0) {
  return page.Row(y)[x * page.bytesPerPixel + channel];
}

Placement On(uint32_t labelWidth, uint32_t labelHeight, uint32_t width, uint32_t height, int64_t left,
             int64_t top, int turns = 0) {
  Placement p;
  p.labelWidth = labelWidth;
  p.labelHeight = labelHeight;
  p.width = width;
  p.height = height;
  p.left = left;
  p.top = top;
  p.quarterTurns = turns;
  return p;
}

TEST(LabelPage, TurnsMoveTheTopLeftCornerWhereTheyShould) {
  // 3 x 2 pixels numbered along the rows: 1 2 3 / 4 5 6.
  const PageImage page = GrayPage(3, 2, 3, [](uint32_t x, uint32_t y) { return 1 + x + 3 * y; });
  const PageImage clockwise = TurnPage(page, 1, "test");
  ASSERT_EQ(clockwise.width, 2u);
  ASSERT_EQ(clockwise.height, 3u);
  EXPECT_EQ(At(clockwise, 1, 0), 1);  // the top-left corner goes top right
  EXPECT_EQ(At(clockwise, 0, 0), 4);
  EXPECT_EQ(At(clockwise, 0, 2), 6);
  const PageImage half = TurnPage(page, 2, "test");
  EXPECT_EQ(At(half, 0, 0), 6);
  EXPECT_EQ(At(half, 2, 1), 1);
  const PageImage counter = TurnPage(page, 3, "test");
  EXPECT_EQ(At(counter, 0, 2), 1);  // the top-left corner goes bottom left
  EXPECT_EQ(At(counter, 0, 0), 3);
  EXPECT_EQ(At(counter, 1, 0), 6);
}

TEST(LabelPage, APageAtItsSizeIsCopiedOnWhiteAndCutAtTheEdges) {
  const PageImage page = GrayPage(4, 4, 3, [](uint32_t x, uint32_t y) { return 10 * (x + 4 * y); });
  const PageImage label = ComposeLabel(page, On(6, 5, 4, 4, 1, 1), 4, {}, "test");
  ASSERT_EQ(label.width, 6u);
  ASSERT_EQ(label.height, 5u);
  EXPECT_EQ(At(label, 0, 0), 0xFF);
  EXPECT_EQ(At(label, 1, 1), 0);
  EXPECT_EQ(At(label, 4, 4, 2), 150);
  EXPECT_EQ(At(label, 5, 4), 0xFF);
  EXPECT_EQ(At(label, 2, 2, 3), 0xFF);  // the fourth byte is opaque
  // Placed partly off the label: only what lies on it is drawn.
  const PageImage cut = ComposeLabel(page, On(2, 2, 4, 4, -1, -2), 3, {}, "test");
  EXPECT_EQ(At(cut, 0, 0), 10 * (1 + 4 * 2));
  EXPECT_EQ(At(cut, 1, 1), 10 * (2 + 4 * 3));
  // Entirely off: a white label.
  const PageImage off = ComposeLabel(page, On(2, 2, 4, 4, 5, 0), 3, {}, "test");
  EXPECT_EQ(At(off, 0, 0), 0xFF);
  EXPECT_EQ(At(off, 1, 1), 0xFF);
}

TEST(LabelPage, APageThatIsTheLabelIsNotCopiedAndInkIsFound) {
  const PageImage page =
      GrayPage(6, 5, 4, [](uint32_t x, uint32_t y) -> uint8_t { return x == 4 && y == 1 ? 0 : 255; });
  EXPECT_EQ(ComposeLabel(page, On(6, 5, 6, 5, 0, 0), 4, {}, "test").pixels, page.pixels);
  // Another layout or a turn is a new page.
  EXPECT_NE(ComposeLabel(page, On(6, 5, 6, 5, 0, 0), 3, {}, "test").pixels, page.pixels);
  struct Case {
    PageImage page;
    ContentBox box;
  };
  const PageImage gray = GrayPage(7, 9, 1, [](uint32_t x, uint32_t y) -> uint8_t {
    return (x == 2 && y == 3) || (x == 5 && y == 7) || (x == 6 && y == 4) ? 200 : 255;
  });
  for (const Case& c : {Case{page, {4, 1, 5, 2}}, Case{gray, {2, 3, 7, 8}}}) {
    const ContentBox box = InkBox(c.page);
    EXPECT_EQ(box.left, c.box.left);
    EXPECT_EQ(box.top, c.box.top);
    EXPECT_EQ(box.right, c.box.right);
    EXPECT_EQ(box.bottom, c.box.bottom);
  }
  EXPECT_TRUE(InkBox(GrayPage(3, 3, 3, [](uint32_t, uint32_t) -> uint8_t { return 255; })).Empty());
}

TEST(LabelPage, HalvingAveragesEachBlockExactly) {
  // Blocks of 2 x 2 pixels, black and white alternately, and one stripe of 1-pixel lines.
  const PageImage page = GrayPage(8, 4, 3, [](uint32_t x, uint32_t y) -> uint8_t {
    if (y >= 2) return x % 2 ? 0 : 255;
    return (x / 2) % 2 ? 255 : 0;
  });
  const PageImage label = ComposeLabel(page, On(4, 2, 4, 2, 0, 0), 3, {}, "test");
  EXPECT_EQ(At(label, 0, 0), 0);
  EXPECT_EQ(At(label, 1, 0), 255);
  EXPECT_EQ(At(label, 2, 0, 1), 0);
  for (uint32_t x = 0; x < 4; ++x) EXPECT_NEAR(At(label, x, 1), 128, 1) << x;
}

// A bar code's ink, summed across a row, scales with the row: bars neither vanish nor grow
// when a 203-dpi image is brought to 300 dpi, or a 600-dpi one to 300.
TEST(LabelPage, ResamplingKeepsTheInkOfThinBars) {
  for (const auto& [from, to] : {std::pair<uint32_t, uint32_t>{203, 300}, {600, 300}, {300, 203}}) {
    SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to));
    const uint32_t width = 2 * from;
    // Bars of 1, 2 and 3 pixels with gaps of 2.
    const PageImage page = GrayPage(width, 3, 3, [](uint32_t x, uint32_t) -> uint8_t {
      const uint32_t phase = x % 11;
      return phase < 1 || (phase >= 3 && phase < 5) || (phase >= 7 && phase < 10) ? 0 : 255;
    });
    const uint32_t placed = 2 * to;
    const PageImage label = ComposeLabel(page, On(placed, 3, placed, 3, 0, 0), 3, {}, "test");
    double inkIn = 0, inkOut = 0;
    for (uint32_t x = 0; x < width; ++x) inkIn += 255 - At(page, x, 1);
    for (uint32_t x = 0; x < placed; ++x) inkOut += 255 - At(label, x, 1);
    EXPECT_NEAR(inkOut / placed, inkIn / width, 1.0);
  }
}

TEST(LabelPage, AGrayPageBecomesThreeEqualChannelsAndATurnedPageIsResampled) {
  const PageImage gray = GrayPage(2, 4, 1, [](uint32_t, uint32_t y) { return y < 2 ? 0 : 200; });
  // Turned counter-clockwise, the dark top rows become the left column; each doubled.
  const PageImage label = ComposeLabel(gray, On(8, 4, 8, 4, 0, 0, 3), 3, {}, "test");
  for (uint32_t c = 0; c < 3; ++c) {
    EXPECT_EQ(At(label, 0, 0, c), 0);
    EXPECT_EQ(At(label, 3, 3, c), 0);
    EXPECT_EQ(At(label, 4, 0, c), 200);
    EXPECT_EQ(At(label, 7, 3, c), 200);
  }
}

TEST(LabelPage, ALabelOverTheLimitIsRefusedBeforeItIsMade) {
  const PageImage page = GrayPage(1, 1, 3, [](uint32_t, uint32_t) { return 0; });
  EXPECT_THROW(ComposeLabel(page, On(20000, 20000, 1, 1, 0, 0), 3, PageLimits{1'000'000}, "test"), ToolError);
}

}  // namespace
}  // namespace qxvn
