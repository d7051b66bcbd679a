// print -> decode round trips: the decoded page equals the bitmap computed from the input pixels.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

class RoundTrip : public ToolTest {
 protected:
  // Prints `image` as a PPM with `args` added and decodes the stream; returns the preview.
  Bitmap PrintAndDecode(const Image& image, std::vector<std::string> args, std::string* warnings = nullptr) {
    WriteFile(Path("in.ppm"), PnmBytes(image, '6'));
    args.insert(args.begin(), {"print", Path("in.ppm"), "-o", Path("out.qxvn")});
    RunResult printed = RunQxvn(args);
    EXPECT_EQ(printed.status, 0) << printed.err;
    RunResult decoded = RunQxvn({"decode", Path("out.qxvn"), "-o", Path("out.png")});
    EXPECT_EQ(decoded.status, 0) << decoded.err;
    if (warnings)
      *warnings = decoded.err;
    else
      EXPECT_EQ(decoded.err, "");
    return ReadPreview(Path("out.png"));
  }
};

class EveryRotationAndAlignment
    : public RoundTrip,
      public ::testing::WithParamInterface<std::tuple<uint32_t, uint32_t, uint32_t>> {};

TEST_P(EveryRotationAndAlignment, CropsAlignsAndTurnsTheLabelWindow) {
  auto [rotation, hor, ver] = GetParam();
  Image image = PatternImage(40, 30, ColourPalette(), 7);
  // 3 mm and 2 mm are 35 and 24 dots: an excess of 5 columns and 6 rows to place the window in.
  Bitmap preview = PrintAndDecode(
      image,
      {"--set", "LabelWidth=3", "--set", "LabelHeight=2", "--set", "Rotation=" + std::to_string(rotation),
       "--set", "HorAlignment=" + std::to_string(hor), "--set", "VerAlignment=" + std::to_string(ver)});
  EXPECT_TRUE(SameDots(preview, ExpectedPrint(image, {35, 24, hor, ver, rotation})));
}

INSTANTIATE_TEST_SUITE_P(All, EveryRotationAndAlignment,
                         ::testing::Combine(::testing::Range(0u, 4u), ::testing::Range(0u, 3u),
                                            ::testing::Range(0u, 3u)));

TEST_F(RoundTrip, LinesStopAt576Dots) {
  Image wide = PatternImage(600, 6, BlackWhite(), 3);
  EXPECT_TRUE(SameDots(PrintAndDecode(wide, {}), ExpectedPrint(wide, {})));
  Image tall = PatternImage(6, 600, BlackWhite(), 4);
  EXPECT_TRUE(SameDots(PrintAndDecode(tall, {"--set", "Rotation=3"}), ExpectedPrint(tall, {.rotation = 3})));
}

TEST_F(RoundTrip, StandardPaperEndsWith94BlankLinesCustomPaperKeepsThemAll) {
  Image image = PatternImage(16, 220, BlackWhite(), 5);
  for (uint32_t y = 20; y < 220; ++y)
    for (uint32_t x = 0; x < 16; ++x) image.pixels[y * 16 + x] = {255, 255, 255};
  Bitmap standard = PrintAndDecode(image, {});
  EXPECT_EQ(standard.height, 20u + 94u);
  EXPECT_TRUE(SameDots(standard, ExpectedPrint(image, {})));
  // A custom page is never cropped either, whatever the label size says.
  Bitmap custom = PrintAndDecode(image, {"--paper", "10x20", "--set", "LabelWidth=1"});
  EXPECT_TRUE(SameDots(custom, ExpectedPrint(image, {.labelWidth = 12, .customPaper = true})));
}

TEST_F(RoundTrip, BandsOfAnUprightPageJoinSeamlessly) {
  Image image = PatternImage(37, 29, ColourPalette(), 9);
  EXPECT_TRUE(SameDots(PrintAndDecode(image, {"--band-rows", "7"}), ExpectedPrint(image, {})));
}

TEST_F(RoundTrip, BandsOfATurnedPageAreTurnedOneByOneAndDrawnInFull) {
  // Bands of 12, 12 and 6 rows each turn into 40 lines; the header has the last band's width
  // (6 dots, 1 byte), so the lines of 12 dots reach past it.
  Image image = PatternImage(40, 30, ColourPalette(), 11);
  std::string warnings;
  Bitmap preview = PrintAndDecode(image, {"--band-rows", "12", "--set", "Rotation=1"}, &warnings);
  EXPECT_NE(warnings.find("reaches byte 2, past the line width of 1 bytes"), std::string::npos) << warnings;
  EXPECT_NE(warnings.find("offset "), std::string::npos);
  ASSERT_EQ(preview.width, 16u);
  ASSERT_EQ(preview.height, 120u);
  for (uint32_t band = 0; band < 3; ++band) {
    Image part{40, band < 2 ? 12u : 6u, {}, {}};
    part.pixels.assign(image.pixels.begin() + band * 12 * 40,
                       image.pixels.begin() + (band * 12 + part.height) * 40);
    Bitmap expected = ExpectedPrint(part, {.rotation = 1, .customPaper = true});
    for (uint32_t line = 0; line < 40; ++line)
      for (uint32_t dot = 0; dot < 16; ++dot)
        ASSERT_EQ(preview.At(dot, band * 40 + line), dot < expected.width && expected.At(dot, line))
            << "band " << band << " line " << line << " dot " << dot;
  }
}

}  // namespace
}  // namespace qxtest
