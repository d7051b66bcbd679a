// What the band rasteriser prints: strides, the luminance rule, the label window, the 576-dot
// cut and the rotations.
#include <gtest/gtest.h>

#include "tests/jobproc/rasteriser_test_band.h"

namespace {

using rastertest::RasterFixture;
using rastertest::TestBand;

// A line as Dots() shows it: `length` dots, those at `marks` printing.
std::string Marked(size_t length, std::initializer_list<size_t> marks) {
  std::string line(length, '.');
  for (size_t mark : marks) line[mark] = '#';
  return line;
}

TEST(RasteriserPixels, RowsArePaddedToFourBytes) {
  struct Case {
    LONG width;
    DWORD bytesPerPixel;
    size_t stride;
  } cases[] = {{100, 3, 300}, {101, 3, 304}, {101, 4, 404}};
  for (const Case& c : cases) {
    // The last pixel of every row black: found only if each row starts where the stride says.
    TestBand band(c.width, 3, c.bytesPerPixel);
    ASSERT_EQ(band.stride, c.stride);
    for (DWORD row = 0; row < 3; ++row) band.Black(c.width - 1, row);
    RasterFixture f;
    ASSERT_TRUE(f.Run(band));
    const std::string expected = Marked(c.width, {static_cast<size_t>(c.width) - 1});
    EXPECT_EQ(f.Dots(c.width), std::vector<std::string>(3, expected));
  }
}

TEST(RasteriserPixels, LuminanceThreshold) {
  struct Case {
    BYTE blue, green, red;
    BYTE threshold;
    bool prints;
  } cases[] = {
      {150, 150, 150, 150, true}, {151, 151, 151, 150, false}, {0, 255, 0, 150, true},
      {0, 0, 255, 150, true},     {0, 0, 255, 75, false},      {0, 0, 255, 76, true},
      {255, 0, 0, 28, true},      {255, 0, 0, 27, false},      {255, 255, 255, 254, false},
      {0, 0, 0, 0, true},         {1, 0, 0, 0, true},          {0, 2, 0, 0, false},  // 2 x 38666 passes 65536
  };
  for (DWORD bytesPerPixel : {3u, 4u})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << int{c.blue} << "," << int{c.green} << "," << int{c.red} << " at "
                                      << int{c.threshold} << ", " << bytesPerPixel << " bytes");
      TestBand band(3, 1, bytesPerPixel);
      band.Set(1, 0, c.blue, c.green, c.red);
      if (bytesPerPixel == 4) *(band.Pixel(1, 0) + 3) = 0;  // the fourth byte is not looked at
      RasterFixture f;
      f.job.m_byGrayThreshold = c.threshold;
      ASSERT_TRUE(f.Run(band));
      EXPECT_EQ(f.Dots(3)[0], c.prints ? ".#." : "...");
    }
}

TEST(RasteriserPixels, AllWhiteBandStillYieldsZeroLines) {
  RasterFixture f;
  TestBand band(20, 4, 3);
  ASSERT_TRUE(f.Run(band));
  ASSERT_EQ(f.job.received.size(), 4u);
  for (const auto& line : f.job.received) {
    EXPECT_EQ(line.bytes, std::vector<BYTE>(3, 0));
    EXPECT_EQ(line.lines, 1u);
  }
}

TEST(RasteriserWindow, WideBandIsCutTo576Dots) {
  RasterFixture f;
  TestBand band(800, 2, 4, 0);
  ASSERT_TRUE(f.Run(band));
  EXPECT_EQ(f.job.m_nPageWidth, 576);
  EXPECT_EQ(f.job.m_nPageHeight, 2);
  ASSERT_EQ(f.job.received.size(), 2u);
  EXPECT_EQ(f.job.received[0].bytes, std::vector<BYTE>(72, 0xFF));
  EXPECT_TRUE(f.trace.Contains("CJobProc::ImageSplit(0, 0, 576, 2, 0)"));
}

TEST(RasteriserWindow, LabelWidthIsAlignedThenCut) {
  struct Case {
    DWORD alignment;
    DWORD first;
  } cases[] = {{0, 0}, {1, 24}, {2, 49}};
  for (const Case& c : cases) {
    TestBand band(640, 1, 3);
    band.Black(c.first, 0);        // first dot
    band.Black(c.first + 575, 0);  // last dot
    if (c.first) band.Black(c.first - 1, 0);
    band.Black(c.first + 576, 0);  // inside the label, past the cut
    RasterFixture f;
    f.job.m_nLabelWidth = 591;
    f.job.m_nHorAlignment = c.alignment;
    ASSERT_TRUE(f.Run(band));
    EXPECT_EQ(f.Dots(576)[0], Marked(576, {0, 575}));
    EXPECT_EQ(f.job.m_nPageWidth, 576);
    EXPECT_TRUE(f.trace.Contains("CJobProc::ImageSplit(" + std::to_string(c.first) + ", 0, 576, 1, 0)"));
  }
}

TEST(RasteriserWindow, LabelHeightAgainstRows) {
  struct Case {
    DWORD labelHeight, alignment;
    std::vector<std::string> lines;
  } cases[] = {
      {4, 2, {"#", ".", ".", "."}},                           // equal to the rows: whole band
      {5, 1, {"#", ".", ".", "."}},                           // larger: whole band
      {3, 0, {"#", ".", "."}},      {3, 1, {"#", ".", "."}},  // excess 1, half of it is 0
      {3, 2, {".", ".", "."}},
  };
  for (const Case& c : cases) {
    TestBand band(1, 4, 4);
    band.Black(0, 0);
    RasterFixture f;
    f.job.m_nLabelHeight = c.labelHeight;
    f.job.m_nVerAlignment = c.alignment;
    ASSERT_TRUE(f.Run(band));
    EXPECT_EQ(f.Dots(1), c.lines) << c.labelHeight << "/" << c.alignment;
  }
}

TEST(RasteriserWindow, CustomPageIsNeverCropped) {
  TestBand band(30, 20, 3);
  RasterFixture f;
  f.devMode.dmPaperSize = DMPAPER_USER;
  f.job.m_nLabelWidth = 10;
  f.job.m_nLabelHeight = 5;
  f.job.m_nHorAlignment = f.job.m_nVerAlignment = 2;
  ASSERT_TRUE(f.Run(band));
  EXPECT_TRUE(f.trace.Contains("CJobProc::ImageSplit(0, 0, 30, 20, 0)"));
  EXPECT_EQ(f.job.received.size(), 20u);
}

// A window of rows a b / c d / e f: each pixel is rasterised alone and its dot put back as its
// letter, so the lines show the walk order directly.
std::vector<std::string> WorkedExample(DWORD rotation, LONG height) {
  const char* names = "abcdef";
  std::vector<std::string> lines;
  for (DWORD letter = 0; letter < 6; ++letter) {
    TestBand band(2, height, 4);
    band.Black(letter % 2, letter / 2);  // stored order, whatever the sign of the height
    RasterFixture f;
    f.job.m_nRotation = rotation;
    EXPECT_TRUE(f.Run(band));
    const auto dots = f.Dots(rotation == 1 || rotation == 3 ? 3 : 2);
    if (lines.empty()) lines = dots;
    for (size_t l = 0; l < dots.size(); ++l)
      for (size_t d = 0; d < dots[l].size(); ++d)
        if (dots[l][d] == '#') lines[l][d] = names[letter];
  }
  return lines;
}

// A bottom-up band (positive height) and a top-down one with the same bytes yield the same lines.
TEST(RasteriserRotation, WorkedExampleBottomUpAndTopDown) {
  using Lines = std::vector<std::string>;
  for (LONG height : {3, -3}) {
    SCOPED_TRACE(height);
    EXPECT_EQ(WorkedExample(0, height), (Lines{"ab", "cd", "ef"}));
    EXPECT_EQ(WorkedExample(1, height), (Lines{"eca", "fdb"}));
    EXPECT_EQ(WorkedExample(2, height), (Lines{"fe", "dc", "ba"}));
    EXPECT_EQ(WorkedExample(3, height), (Lines{"bdf", "ace"}));
    EXPECT_EQ(WorkedExample(7, height), (Lines{"ab", "cd", "ef"}));  // unknown rotation: upright
  }
}

TEST(RasteriserRotation, QuarterTurnCutsRowsTo576) {
  TestBand band(300, 700, 3);
  // Marks that tell the cut rows apart: row 575 is the first dot of every line, row 0 the last,
  // rows 576 and up are dropped.
  for (DWORD column = 0; column < 300; ++column) {
    band.Black(column, 575);
    band.Black(column, 600);
  }
  band.Black(7, 0);
  RasterFixture f;
  f.job.m_nRotation = 1;
  ASSERT_TRUE(f.Run(band));
  EXPECT_EQ(f.job.m_nPageWidth, 576);
  EXPECT_EQ(f.job.m_nPageHeight, 300);
  EXPECT_TRUE(f.trace.Contains("CJobProc::ImageSplit(0, 0, 300, 576, 1)"));
  ASSERT_EQ(f.job.received.size(), 300u);
  const auto lines = f.Dots(576);
  EXPECT_EQ(lines[0], Marked(576, {0}));
  EXPECT_EQ(lines[7], Marked(576, {0, 575}));
  EXPECT_EQ(f.job.received[299].bytes.size(), 72u);
}

}  // namespace
