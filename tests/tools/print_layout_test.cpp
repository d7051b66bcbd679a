// qxvn print --scaling and --orientation: pages laid out on the --paper label as the printer
// application lays them out, images by their own resolution; without them, one pixel a dot.
#include <gtest/gtest.h>

#include "tests/tools/layout_samples.h"
#include "tests/tools/test_images.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

class PrintLayout : public ToolTest {
 protected:
  // The decoded label of `args` printed to a stream.
  Bitmap Printed(std::vector<std::string> args) {
    args.insert(args.begin(), "print");
    args.insert(args.end(), {"-o", Path("out.prn")});
    RunResult r = RunQxvn(args);
    EXPECT_EQ(r.status, 0) << r.err;
    r = RunQxvn({"decode", Path("out.prn"), "-o", Path("out.png")});
    EXPECT_EQ(r.status, 0) << r.err;
    return ReadPreview(Path("out.png"));
  }
};

TEST_F(PrintLayout, BadChoicesAreRefusedWithTheChoicesNamed) {
  WriteGrayPng(Path("a.png"), FramedImage(40, 60, 2), 203);
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--paper", "48x76", "--scaling", "stretch"}, "--scaling takes auto, auto-fit, fit, fill or none"},
      {{"--paper", "48x76", "--scaling", "FIT"}, "not 'FIT'"},
      {{"--paper", "48x76", "--orientation", "4"}, "--orientation takes portrait, landscape"},
      {{"--scaling", "fit"}, "--scaling needs --paper"},
      {{"--orientation", "landscape"}, "--orientation needs --paper"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"print", Path("a.png"), "-o", Path("out.prn")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = RunQxvn(args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(Path("out.prn")));
  }
}

TEST_F(PrintLayout, AnImageIsOnePixelADotUnlessScaled) {
  // 384 x 608 pixels at 203 dpi: the 48 x 76 mm label.
  WriteGrayPng(Path("label.png"), FramedImage(384, 608, 4), 203);
  const DotBox asIs = DotsBox(Printed({Path("label.png")}));
  EXPECT_EQ(asIs.Width(), 384);
  EXPECT_EQ(asIs.Height(), 608);
  const DotBox onLabel = DotsBox(Printed({Path("label.png"), "--paper", "48x76", "--scaling", "auto"}));
  EXPECT_EQ(onLabel.left, 0);
  EXPECT_EQ(onLabel.Width(), 566);
  EXPECT_EQ(onLabel.Height(), 896);
  // One pixel a metre is no resolution to print by: the image keeps one pixel a dot.
  WriteGrayPng(Path("stray.png"), FramedImage(100, 50, 4), 0.0254);
  const DotBox stray = DotsBox(
      Printed({Path("stray.png"), "--paper", "48x76", "--scaling", "none", "--orientation", "portrait"}));
  EXPECT_EQ(stray.Width(), 100);
  EXPECT_EQ(stray.Height(), 50);
  EXPECT_EQ(stray.left, (566 - 100) / 2);
}

// A page of the head's 576 dots printed on the 566-dot label: what lies outside the label is
// white, so the page prints one pixel a dot, exactly as its label-sized part would, wherever that
// part lies; a page whose ink spans the head's width is still scaled to fit.
TEST_F(PrintLayout, WhiteOverflowIsCutAndThePageKeepsItsPixels) {
  const GrayImage label = FramedImage(566, 897, 4);
  WriteGrayPng(Path("label.png"), label, 0);
  const std::vector<std::string> onLabel = {"--paper", "48x76", "--scaling", "auto", "-o"};
  std::vector<std::string> args = {"print", Path("label.png")};
  args.insert(args.end(), onLabel.begin(), onLabel.end());
  args.push_back(Path("expected.prn"));
  ASSERT_EQ(RunQxvn(args).status, 0);
  for (const auto& [x, y] : {std::pair<uint32_t, uint32_t>{5, 1}, {0, 3}, {10, 0}}) {
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
    GrayImage wide = WhiteImage(576, 900);
    Paste(wide, label, x, y);
    WriteGrayPng(Path("wide.png"), wide, 0);
    args[1] = Path("wide.png");
    args.back() = Path("wide.prn");
    ASSERT_EQ(RunQxvn(args).status, 0);
    EXPECT_TRUE(ReadFile(Path("wide.prn")) == ReadFile(Path("expected.prn")));
  }
  WriteGrayPng(Path("full.png"), FramedImage(576, 900, 4), 0);
  const DotBox scaled = DotsBox(Printed({Path("full.png"), "--paper", "48x76", "--scaling", "auto"}));
  EXPECT_EQ(scaled.Width(), 566);
  EXPECT_EQ(scaled.Height(), 884);
}

TEST_F(PrintLayout, OrientationTurnsThePageAndAPdfPageFits) {
  WriteGrayPng(Path("small.png"), FramedImage(354, 472, 12), 300);
  // Turned a quarter counter-clockwise, at its own size: 472 x 354, its top-left square at the
  // bottom left.
  const Bitmap turned = Printed({Path("small.png"), "--paper", "48x76", "--orientation", "landscape"});
  const DotBox box = DotsBox(turned);
  EXPECT_NEAR(box.Width(), 472, 1);
  EXPECT_NEAR(box.Height(), 354, 1);
  EXPECT_EQ(InkiestQuarter(turned, box), 2);
  WriteFramedPdf(Path("letter.pdf"), 612, 792);
  const DotBox letter = DotsBox(Printed({Path("letter.pdf"), "--paper", "48x76", "--scaling", "fit"}));
  EXPECT_NEAR(letter.Width(), 566, 1);
  EXPECT_NEAR(letter.Height(), 732, 1);
}

}  // namespace
}  // namespace qxtest
