// Gray content diffused into dots: the darkness of a gray kept on average, a bar code's box and
// (with graphics) near-black and near-white pixels left to the threshold, text content untouched.
#include "common/dither/content_dither.h"

#include <gtest/gtest.h>

#include <vector>

namespace qxvn {
namespace {

struct GrayPage {
  std::vector<uint8_t> pixels;
  PageImage page;
  GrayPage(uint32_t width, uint32_t height, uint8_t gray) : pixels(StrideOf(width, 3) * height, gray) {
    page.width = width;
    page.height = height;
    page.stride = StrideOf(width, 3);
    page.pixels = pixels.data();
  }
  // Share of black pixels in [x0, x1) x [y0, y1); -1 when one is neither black nor white.
  double Black(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) const {
    size_t black = 0;
    for (uint32_t y = y0; y < y1; ++y)
      for (uint32_t x = x0; x < x1; ++x) {
        const uint8_t v = page.Row(y)[x * 3];
        if (v != 0 && v != 255) return -1;
        black += v == 0;
      }
    return static_cast<double>(black) / ((x1 - x0) * (y1 - y0));
  }
};

TEST(ContentDither, GraysKeepTheirDarknessOutsideBarCodes) {
  EXPECT_EQ(ContentNamed("graphics"), Content::kGraphics);
  EXPECT_FALSE(ContentNamed("Photo"));
  // Gray 64 is 1 - 64/255 = 74.9% dark; the threshold would print it all black.
  GrayPage photo(200, 100, 64);
  const barcode::Box symbol[] = {{20, 20, 60, 60}};
  DiffuseContent(photo.page, Content::kPhoto, symbol);
  EXPECT_NEAR(photo.Black(60, 0, 200, 100), 0.749, 0.01);
  EXPECT_EQ(photo.page.Row(40)[30 * 3], 64) << "inside the bar code's box";
  // Graphics: mid grays diffused, near-black (30) left to the threshold.
  for (auto [gray, diffused] : {std::pair<uint8_t, bool>{128, true}, {30, false}, {230, false}}) {
    GrayPage graphics(100, 50, gray);
    DiffuseContent(graphics.page, Content::kGraphics, {});
    EXPECT_EQ(graphics.Black(0, 0, 100, 50) >= 0, diffused) << int(gray);
    if (diffused) {
      EXPECT_NEAR(graphics.Black(0, 0, 100, 50), 1 - 128 / 255.0, 0.01);
    }
  }
  for (Content kept : {Content::kAuto, Content::kText}) {
    GrayPage text(50, 20, 64);
    DiffuseContent(text.page, kept, {});
    EXPECT_EQ(text.page.Row(10)[25 * 3], 64);
  }
}

}  // namespace
}  // namespace qxvn
