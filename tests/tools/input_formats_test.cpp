// Every input format gives the page its pixels say.
#include <gtest/gtest.h>

#include "tests/tools/test_images.h"
#include "tests/tools/test_jpeg.h"
#include "tests/tools/tool_run.h"

namespace qxtest {
namespace {

class InputFormats : public ToolTest {
 protected:
  void ExpectPrints(const std::string& input, const Image& image,
                    const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"print", input, "-o", Path("out.qxvn")};
    args.insert(args.end(), extra.begin(), extra.end());
    RunResult printed = RunQxvn(args);
    ASSERT_EQ(printed.status, 0) << input << ": " << printed.err;
    ASSERT_EQ(RunQxvn({"decode", Path("out.qxvn"), "-o", Path("out.png")}).status, 0);
    EXPECT_TRUE(SameDots(ReadPreview(Path("out.png")), ExpectedPrint(image, {}))) << input;
  }
};

TEST_F(InputFormats, PnmPlainAndBinaryAtEveryDepth) {
  Image bits = PatternImage(19, 7, BlackWhite(), 1);
  Image grays = PatternImage(21, 9, GrayPalette(), 2);
  Image colours = PatternImage(23, 11, ColourPalette(), 3);
  struct Case {
    char kind;
    uint32_t maxval;
    const Image& image;
  } cases[] = {{'1', 1, bits},      {'4', 1, bits},       {'2', 255, grays},   {'2', 15, grays},
               {'5', 255, grays},   {'5', 65535, grays},  {'3', 255, colours}, {'3', 65535, colours},
               {'6', 255, colours}, {'6', 65535, colours}};
  for (const Case& c : cases) {
    std::string path = Path(std::string("in-") + c.kind + "-" + std::to_string(c.maxval) + ".pnm");
    WriteFile(path, PnmBytes(c.image, c.kind, c.maxval));
    ExpectPrints(path, c.image);
  }
}

TEST_F(InputFormats, PngOfEveryKind) {
  Image bits = PatternImage(19, 7, BlackWhite(), 4);
  Image grays = PatternImage(21, 9, GrayPalette(), 5);
  Image colours = PatternImage(23, 11, ColourPalette(), 6);
  struct Case {
    PngKind kind;
    const Image& image;
  } cases[] = {{PngKind::Gray1, bits},          {PngKind::Gray8, grays},       {PngKind::Gray16, grays},
               {PngKind::Rgb8, colours},        {PngKind::Rgb16, colours},     {PngKind::Palette, colours},
               {PngKind::PaletteTrns, colours}, {PngKind::Interlaced, colours}};
  int n = 0;
  for (const Case& c : cases) {
    std::string path = Path("in-" + std::to_string(n++) + ".png");
    WritePngFile(path, c.image, c.kind);
    ExpectPrints(path, c.image);
    ExpectPrints(path, c.image, {"--bpp", "32"});
  }
}

TEST_F(InputFormats, JpegPrintsItsDecodedPixelsAndADamagedOneIsRefused) {
  WriteJpegFile(Path("in.jpg"), PatternImage(40, 24, ColourPalette(), 4));
  ExpectPrints(Path("in.jpg"), DecodeJpegFile(Path("in.jpg")));
  ExpectPrints(Path("in.jpg"), DecodeJpegFile(Path("in.jpg")), {"--bpp", "32"});
  // libjpeg only warns about a file that ends early, and would make up the missing rows.
  const std::string whole = ReadFile(Path("in.jpg"));
  WriteFile(Path("cut.jpg"), whole.substr(0, whole.size() * 2 / 3));
  RunResult r = RunQxvn({"print", Path("cut.jpg"), "-o", Path("cut.qxvn")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cut.jpg: cannot decode JPEG: Premature end of JPEG file"), std::string::npos)
      << r.err;
  EXPECT_FALSE(Exists(Path("cut.qxvn")));

  // CMYK in Adobe's inverted form: no ink on the left half, full black on the right.
  WriteAdobeCmykJpegFile(Path("cmyk.jpg"), 32, 16,
                         [](uint32_t x, uint32_t) { return x < 16 ? 0xFFFFFFFFu : 0xFFFFFF00u; });
  Image halves = PatternImage(32, 16, BlackWhite(), 1);
  for (uint32_t y = 0; y < 16; ++y)
    for (uint32_t x = 0; x < 32; ++x) halves.pixels[y * 32 + x] = x < 16 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
  ExpectPrints(Path("cmyk.jpg"), halves);
}

TEST_F(InputFormats, PngAlphaIsCompositedOverWhite) {
  // Black at alpha 0 is white paper; at 128 it is gray 127 and prints; at 255 it prints.
  Image image = PatternImage(17, 5, {{0, 0, 0}, {0, 255, 0}, {200, 200, 200}}, 8);
  const uint8_t levels[] = {0, 60, 128, 255};
  for (size_t i = 0; i < image.pixels.size(); ++i) image.alpha.push_back(levels[i % 4]);
  const PngKind kinds[] = {PngKind::Rgba, PngKind::Rgba16, PngKind::InterlacedRgba};
  for (PngKind kind : kinds) {
    WritePngFile(Path("alpha.png"), image, kind);
    ExpectPrints(Path("alpha.png"), image);
    ExpectPrints(Path("alpha.png"), image, {"--bpp", "32"});
  }
  Image gray = PatternImage(17, 5, GrayPalette(), 9);
  for (size_t i = 0; i < gray.pixels.size(); ++i) gray.alpha.push_back(levels[(i / 3) % 4]);
  WritePngFile(Path("gray-alpha.png"), gray, PngKind::GrayAlpha);
  ExpectPrints(Path("gray-alpha.png"), gray);
}

// One page a PDF page, rendered at --dpi: a full black page of 72 x 36 points and a blank one.
TEST_F(InputFormats, PdfPagesRenderAtTheResolutionAsked) {
  const std::string content = "0 g 0 0 72 36 re f\n";
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  auto object = [&](const std::string& body) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
  };
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 36] /Contents 5 0 R >>");
  object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 36] >>");
  object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
  size_t xref = pdf.size();
  pdf += "xref\n0 6\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  WriteFile(Path("doc.pdf"), pdf);

  for (uint32_t dpi : {300u, 100u}) {
    RunResult printed =
        RunQxvn({"print", Path("doc.pdf"), "--dpi", std::to_string(dpi), "-o", Path("doc.qxvn")});
    ASSERT_EQ(printed.status, 0) << printed.err;
    ASSERT_EQ(RunQxvn({"decode", Path("doc.qxvn"), "-o", Path("doc.png")}).status, 0);
    Bitmap black = ReadPreview(Path("doc-1.png"));
    ASSERT_EQ(black.height, dpi / 2);
    EXPECT_EQ(black.width, (dpi + 7) / 8 * 8);
    EXPECT_TRUE(black.At(0, 0) && black.At(dpi - 1, dpi / 2 - 1));
    Bitmap blank = ReadPreview(Path("doc-2.png"));
    EXPECT_EQ(blank.height, std::min(dpi / 2, 94u)) << "a blank standard page keeps 94 blank lines";
  }
}

TEST_F(InputFormats, TheSampleLabelPrintsTheSameFromPdfAndPng) {
  const std::string examples = QXVN_EXAMPLES;
  ASSERT_EQ(RunQxvn({"print", examples + "/shipping-label.pdf", "-o", Path("pdf.qxvn")}).status, 0);
  ASSERT_EQ(RunQxvn({"print", examples + "/shipping-label.png", "-o", Path("png.qxvn")}).status, 0);
  ASSERT_EQ(RunQxvn({"decode", Path("pdf.qxvn"), "-o", Path("pdf.png")}).status, 0);
  ASSERT_EQ(RunQxvn({"decode", Path("png.qxvn"), "-o", Path("png.png")}).status, 0);
  Bitmap fromPdf = ReadPreview(Path("pdf.png")), fromPng = ReadPreview(Path("png.png"));
  EXPECT_EQ(fromPdf.width, 568u);
  EXPECT_EQ(fromPdf.height, 898u);
  EXPECT_EQ(fromPdf.dotsPerMetre, 11811u);
  // Fonts may differ between machines; boxes and barcode do not.
  ASSERT_EQ(fromPng.width, fromPdf.width);
  ASSERT_EQ(fromPng.height, fromPdf.height);
  size_t differing = 0;
  for (size_t i = 0; i < fromPdf.dots.size(); ++i) differing += fromPdf.dots[i] != fromPng.dots[i];
  EXPECT_LT(differing, fromPdf.dots.size() / 20);
}

}  // namespace
}  // namespace qxtest
