// Documents laid out on the job's label by the printer application, as ipptool sends them:
// print-scaling by orientation-requested over PNGs at 203, 300 and 600 dpi, a JPEG, a Letter
// PDF and a label-size PDF, each found where it belongs in the decoded label; and bar codes made
// by zint that still scan (zbarimg) after they were resampled to the printer's 300 dpi.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/printer_app/app_server.h"
#include "tests/tools/layout_samples.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

// The 48 x 76 mm label (566 x 897 dots), or another, with no margins, as the job's media-col.
std::string MediaCol(int widthHundredths = 4800, int lengthHundredths = 7600) {
  std::string col = "  ATTR collection media-col {\n    MEMBER collection media-size {\n";
  col += "      MEMBER integer x-dimension " + std::to_string(widthHundredths) + "\n";
  col += "      MEMBER integer y-dimension " + std::to_string(lengthHundredths) + "\n    }\n";
  for (const char* side : {"top", "bottom", "left", "right"})
    col += std::string("    MEMBER integer media-") + side + "-margin 0\n";
  return col + "  }\n";
}

std::string Shell(const std::string& command, int* code) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  *code = pclose(pipe);
  return output;
}

class AppLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = FreshTestFolder(); }

  // Prints `file` as job `name` and returns the decoded label; `decoded` is its PNG.
  Bitmap PrintAndDecode(AppServer& app, const std::string& file, const std::string& format,
                        const std::string& name, const std::string& attributes,
                        std::string* decoded = nullptr) {
    const int id = PrintJob(app.Uri(), file, format, name, attributes);
    EXPECT_GT(id, 0);
    EXPECT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
    const std::string png = m_dir + "/" + name + ".png";
    int code = -1;
    const std::string output =
        Shell(std::string(QXVN_PATH) + " decode " + app.OutputFile(id, name) + " -o " + png, &code);
    EXPECT_EQ(code, 0) << output;
    if (decoded) *decoded = png;
    return ReadPreview(png);
  }

  std::string m_dir;
};

constexpr int kAnyQuarter = -1;

struct Expected {
  int width, height;  // the dots' extent, within 2 dots, centred on the label within 1
  int quarter;        // where the page's top-left square went (InkiestQuarter)
};

void ExpectPlaced(const Bitmap& label, uint32_t labelWidth, uint32_t labelHeight, const Expected& e) {
  const DotBox box = DotsBox(label);
  ASSERT_FALSE(box.empty);
  EXPECT_NEAR(box.Width(), e.width, 2);
  EXPECT_NEAR(box.Height(), e.height, 2);
  EXPECT_NEAR(2 * box.left, labelWidth - box.Width(), 2) << "not centred across";
  EXPECT_NEAR(2 * box.top, labelHeight - box.Height(), 2) << "not centred down";
  if (e.quarter != kAnyQuarter) {
    EXPECT_EQ(InkiestQuarter(label, box), e.quarter);
  }
}

// 30 x 40 mm images at three resolutions and a JPEG: printed at their size unless scaled, and
// turned as asked.
TEST_F(AppLayoutTest, ImagesLandWhereScalingAndOrientationPutThem) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  struct Document {
    std::string name, file, format;
  };
  std::vector<Document> documents;
  for (const auto& [dpi, width, height] :
       std::vector<std::tuple<int, uint32_t, uint32_t>>{{203, 240, 320}, {300, 354, 472}, {600, 708, 944}}) {
    const std::string file = m_dir + "/at" + std::to_string(dpi) + ".png";
    WriteGrayPng(file, FramedImage(width, height, width / 25 + 2), dpi);
    documents.push_back({"png" + std::to_string(dpi), file, "image/png"});
  }
  WriteGrayJpeg(m_dir + "/at300.jpg", FramedImage(354, 472, 16), 300);
  documents.push_back({"jpeg300", m_dir + "/at300.jpg", "image/jpeg"});

  struct Case {
    std::string scaling;
    int orientation;  // 0: none asked
    Expected expected;
  };
  const std::vector<Case> cases = {
      {"auto", 0, {354, 472, 0}}, {"auto-fit", 3, {354, 472, 0}},       {"none", 3, {354, 472, 0}},
      {"fit", 3, {566, 755, 0}},  {"fill", 3, {566, 897, kAnyQuarter}}, {"auto", 4, {472, 354, 2}},
      {"fit", 4, {566, 424, 2}},  {"none", 5, {472, 354, 1}},           {"fill", 5, {566, 897, kAnyQuarter}},
      {"auto", 6, {354, 472, 3}},
  };
  for (const Document& d : documents) {
    for (const Case& c : cases) {
      const std::string name = d.name + "-" + c.scaling + "-" + std::to_string(c.orientation);
      SCOPED_TRACE(name);
      std::string attributes = MediaCol() + "  ATTR keyword print-scaling " + c.scaling + "\n";
      if (c.orientation)
        attributes += "  ATTR enum orientation-requested " + std::to_string(c.orientation) + "\n";
      ExpectPlaced(PrintAndDecode(app, d.file, d.format, name, attributes), 566, 897, c.expected);
    }
  }
}

TEST_F(AppLayoutTest, PdfPagesAreDrawnAtTheirPlacedSize) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string letter = m_dir + "/letter.pdf", wideLetter = m_dir + "/wide-letter.pdf";
  const std::string label = m_dir + "/label.pdf";
  WriteFramedPdf(letter, 612, 792);
  WriteFramedPdf(wideLetter, 792, 612);
  WriteFramedPdf(label, 48 * 72 / 25.4, 76 * 72 / 25.4);
  struct Case {
    std::string name, file, attributes;
    uint32_t labelWidth, labelHeight;
    Expected expected;
  };
  const std::string fit = "  ATTR keyword print-scaling fit\n";
  const std::vector<Case> cases = {
      {"letter-fit", letter, MediaCol() + fit, 566, 897, {566, 732, 0}},
      {"letter-fill",
       letter,
       MediaCol() + "  ATTR keyword print-scaling fill\n",
       566,
       897,
       {566, 897, kAnyQuarter}},
      {"letter-fit-landscape",
       letter,
       MediaCol() + fit + "  ATTR enum orientation-requested 4\n",
       566,
       897,
       {566, 437, 2}},
      // A landscape page is turned onto the portrait label when no orientation is asked.
      {"wide-letter-fit", wideLetter, MediaCol() + fit, 566, 897, {566, 732, 2}},
      {"label-auto", label, MediaCol() + "  ATTR keyword print-scaling auto\n", 566, 897, {566, 896, 0}},
      {"label-fit", label, MediaCol() + fit, 566, 897, {566, 896, 0}},
      // The 48 x 76 mm page on a 40 x 30 mm label: turned to lie along it, and fitted.
      {"label-on-40x30-fit", label, MediaCol(4000, 3000) + fit, 472, 354, {472, 298, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectPlaced(PrintAndDecode(app, c.file, "application/pdf", c.name, c.attributes), c.labelWidth,
                 c.labelHeight, c.expected);
  }
}

// A shipping label made at 203 dpi (384 x 608 pixels) and at 600 dpi: printed at 48 x 76 mm with
// print-scaling auto and fit, its bar codes scan to what they hold.
TEST_F(AppLayoutTest, BarCodesScanAfterResampling) {
  ASSERT_TRUE(fs::exists("/usr/bin/zint") && fs::exists("/usr/bin/zbarimg"))
      << "zint and zbarimg are needed: run scripts/setup.sh";
  const std::string code128 = "SHIP-0012345678", ean13 = "590123412345",
                    qr = "https://example.com/track/1Z999";
  auto zint = [&](const std::string& name, int symbology, const std::string& data, double scale) {
    const std::string path = m_dir + "/" + name + ".png";
    int code = -1;
    const std::string output =
        Shell("/usr/bin/zint -b " + std::to_string(symbology) + " --scale=" + std::to_string(scale) +
                  " -d '" + data + "' -o " + path,
              &code);
    EXPECT_EQ(code, 0) << output;
    return ReadGrayPng(path);
  };
  // zint's scale 1 draws a module 2 pixels wide: 3 dots at 203 dpi, 2.5 at 600 dpi once at 300.
  GrayImage at203 = FramedImage(384, 608, 3);
  Paste(at203, WhiteImage(128, 128), 3, 3);  // no corner square on a real label
  Paste(at203, zint("c128-203", 20, code128, 1), 36, 40);
  Paste(at203, zint("qr-203", 58, qr, 2), 92, 200);
  Paste(at203, zint("ean-203", 13, ean13, 1), 79, 440);
  GrayImage at600 = FramedImage(1134, 1796, 8);
  Paste(at600, WhiteImage(400, 400), 8, 8);
  Paste(at600, zint("c128-600", 20, code128, 2.5), 177, 120);
  Paste(at600, zint("qr-600", 58, qr, 5), 442, 600);
  Paste(at600, zint("ean-600", 13, ean13, 2.5), 284, 1100);
  WriteGrayPng(m_dir + "/label203.png", at203, 203);
  WriteGrayPng(m_dir + "/label600.png", at600, 600);

  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  for (const std::string dpi : {"203", "600"}) {
    for (const std::string scaling : {"auto", "fit"}) {
      const std::string name = "codes" + dpi + "-" + scaling;
      SCOPED_TRACE(name);
      std::string decoded;
      const Bitmap label =
          PrintAndDecode(app, m_dir + "/label" + dpi + ".png", "image/png", name,
                         MediaCol() + "  ATTR keyword print-scaling " + scaling + "\n", &decoded);
      // The whole label, 48 x 76 mm.
      ExpectPlaced(label, 566, 897, {566, 896, kAnyQuarter});
      int code = -1;
      const std::string scanned = Shell("/usr/bin/zbarimg -q " + decoded, &code);
      EXPECT_NE(scanned.find("CODE-128:" + code128 + "\n"), std::string::npos) << scanned;
      EXPECT_NE(scanned.find("EAN-13:" + ean13), std::string::npos) << scanned;
      EXPECT_NE(scanned.find("QR-Code:" + qr + "\n"), std::string::npos) << scanned;
    }
  }
}

}  // namespace
}  // namespace qxtest
