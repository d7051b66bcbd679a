// Draws the sample shipping label of examples/: shipping-label.pdf (vector text, boxes and a
// Code 128 barcode) and shipping-label.png, the same page rendered at 300 dpi in 8-bit gray.
// Usage: qxvn-make-examples DIR
#include <png.h>
#include <poppler-document.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <cstdio>
#include <memory>

#include "common/draw/label_pdf.h"
#include "common/io/atomic_output.h"
#include "common/io/png_write.h"
#include "common/tool_error.h"

namespace {

// 48 mm x 76 mm at 300 dpi: as wide as the printer's 576-dot line allows, with a margin.
constexpr int kWidth = 567;
constexpr int kHeight = 898;

std::string DrawLabel() {
  qxdraw::LabelPdf pdf(kWidth, kHeight);
  pdf.StrokeRect(6, 6, kWidth - 12, kHeight - 12, 5);

  pdf.Text(26, 46, 6.5, true, "FROM");
  pdf.Text(26, 86, 8.5, false, "QX Sample Goods Ltd");
  pdf.Text(26, 118, 8.5, false, "12 Harbour Road, Portsmouth");
  pdf.Text(26, 150, 8.5, false, "PO1 2AB  United Kingdom");
  pdf.FillRect(6, 172, kWidth - 12, 4);

  pdf.Text(26, 214, 6.5, true, "SHIP TO");
  pdf.Text(26, 264, 12, true, "A. SAMPLE");
  pdf.Text(26, 310, 12, true, "45 ORCHARD LANE");
  pdf.Text(26, 356, 12, true, "LEEDS  LS6 3QT");
  pdf.Text(26, 402, 12, true, "UNITED KINGDOM");
  pdf.FillRect(6, 428, kWidth - 12, 4);

  // Two dots a module keeps every bar on the printer's dot grid.
  const std::string tracking = "QX0001234567GB";
  pdf.Barcode((kWidth - qxdraw::LabelPdf::BarcodeWidth(tracking, 2)) / 2, 456, 2, 170, tracking);
  pdf.Text(106, 664, 9, false, "QX 0001 2345 67 GB");
  pdf.FillRect(6, 684, kWidth - 12, 4);

  // Mid gray prints at the default threshold; the light gray behind the weight does not.
  pdf.FillRect(6, 688, kWidth - 12, 96, 0.45);
  pdf.Text(108, 760, 18, true, "PRIORITY", 1);
  pdf.FillRect(20, 800, 250, 80, 0.85);
  pdf.Text(34, 854, 10, true, "2.4 kg");
  pdf.Text(300, 854, 10, true, "Parcel 1 of 1");
  return pdf.Finish();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  qxvn::AtomicOutput out(path);
  out.Write(bytes.data(), bytes.size());
  out.Commit();
}

void WriteRenderedPng(const std::string& pdfPath, const std::string& pngPath) {
  std::unique_ptr<poppler::document> document(poppler::document::load_from_file(pdfPath));
  if (!document) throw qxvn::ToolError("cannot open " + pdfPath);
  std::unique_ptr<poppler::page> page(document->create_page(0));
  poppler::page_renderer renderer;
  renderer.set_image_format(poppler::image::format_gray8);
  poppler::image image = renderer.render_page(page.get(), 300, 300);
  if (!image.is_valid()) throw qxvn::ToolError("cannot render " + pdfPath);
  qxvn::PngLayout layout;
  layout.width = static_cast<uint32_t>(image.width());
  layout.height = static_cast<uint32_t>(image.height());
  layout.colorType = PNG_COLOR_TYPE_GRAY;
  const char* data = image.const_data();
  const int stride = image.bytes_per_row();
  qxvn::AtomicOutput out(pngPath);
  qxvn::WritePng(out, layout,
                 [&](uint32_t y) { return reinterpret_cast<const uint8_t*>(data + y * stride); });
  out.Commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qxvn-make-examples DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  try {
    WriteFile(dir + "/shipping-label.pdf", DrawLabel());
    WriteRenderedPng(dir + "/shipping-label.pdf", dir + "/shipping-label.png");
  } catch (const qxvn::ToolError& e) {
    std::fprintf(stderr, "qxvn-make-examples: %s\n", e.what());
    return 1;
  }
  return 0;
}
