// PDF pages rendered at the requested resolution on white paper, straight into the band layout.
#include "common/input/pdf_raster.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <cmath>

#include "common/tool_error.h"

namespace qxvn {
namespace {

// The library's complaints about a damaged file would otherwise go to standard error unasked.
std::string g_lastPdfMessage;
void KeepPdfMessage(const std::string& message, void*) { g_lastPdfMessage = message; }

}  // namespace

struct PdfRaster::Document {
  std::unique_ptr<poppler::document> document;
};

PdfRaster::PdfRaster(std::span<const uint8_t> bytes) : m_document(std::make_unique<Document>()) {
  poppler::set_debug_error_function(KeepPdfMessage, nullptr);
  g_lastPdfMessage.clear();
  m_document->document.reset(poppler::document::load_from_raw_data(
      reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())));
  if (!m_document->document) Fail("cannot open the PDF document");
  if (m_document->document->is_locked()) Fail("the PDF document is password-protected");
}

PdfRaster::~PdfRaster() = default;

size_t PdfRaster::PageCount() const {
  return static_cast<size_t>(std::max(m_document->document->pages(), 0));
}

std::pair<double, double> PdfRaster::DrawnSize(size_t index) {
  std::unique_ptr<poppler::page> page(m_document->document->create_page(static_cast<int>(index)));
  if (!page) Fail("cannot read page " + std::to_string(index + 1));
  const poppler::rectf box = page->page_rect(poppler::crop_box);
  const poppler::page::orientation_enum turn = page->orientation();
  const bool sideways = turn == poppler::page::landscape || turn == poppler::page::seascape;
  if (!(box.width() > 0 && box.height() > 0)) Fail("page " + std::to_string(index + 1) + " has no area");
  return sideways ? std::pair{box.height(), box.width()} : std::pair{box.width(), box.height()};
}

PageImage PdfRaster::Render(size_t index, double dpiX, double dpiY, uint64_t maxPixels,
                            uint32_t bytesPerPixel, uint64_t maxMemoryBytes) {
  std::string where = "page " + std::to_string(index + 1);
  std::unique_ptr<poppler::page> page(m_document->document->create_page(static_cast<int>(index)));
  if (!page) Fail("cannot read " + where);
  // Refuse oversized pages before the renderer tries to allocate them: the renderer draws
  // into a bitmap of its own (4 bytes a pixel and an alpha plane), then copies it into the
  // image we keep, so both count.
  poppler::rectf box = page->page_rect(poppler::crop_box);
  poppler::rectf media = page->page_rect(poppler::media_box);
  // Either side may lie either way once the page's rotation turns it.
  const double dpi = std::max(dpiX, dpiY);
  double width = std::ceil(std::max(box.width(), media.width()) * dpi / 72.0);
  double height = std::ceil(std::max(box.height(), media.height()) * dpi / 72.0);
  if (!(width >= 1 && height >= 1)) Fail(where + " has no area");
  constexpr double kRendererBytesPerPixel = 4 + 1;
  const std::string atDpi = " at " + std::to_string(std::lround(dpi)) + " dpi";
  if (width * height > static_cast<double>(maxPixels))
    Fail(where + " is " + std::to_string(static_cast<uint64_t>(width)) + " x " +
         std::to_string(static_cast<uint64_t>(height)) + " pixels" + atDpi + ", over the limit of " +
         std::to_string(maxPixels) + " pixels a page");
  const double bitmapBytes = width * height * (kRendererBytesPerPixel + bytesPerPixel);
  if (bitmapBytes > static_cast<double>(kMaxPageBytes))
    Fail(where + " is too large" + atDpi + ": rendering it takes more than " + std::to_string(kMaxPageBytes) +
         " bytes");
  // The library answers a failed allocation of its own copy of the page with an image of memory
  // it has already freed, so a page that cannot fit is refused before it is drawn. The program,
  // its libraries and the document take about 32 MiB besides.
  constexpr double kBaseBytes = 32 << 20;
  if (maxMemoryBytes > 0 && bitmapBytes + kBaseBytes > static_cast<double>(maxMemoryBytes))
    Fail(where + atDpi + " needs about " +
         std::to_string(static_cast<uint64_t>((bitmapBytes + kBaseBytes) / (1 << 20))) +
         " MiB to render, over the memory budget of " + std::to_string(maxMemoryBytes >> 20) +
         " MiB a document");

  poppler::page_renderer renderer;
  renderer.set_paper_color(0xFFFFFFFF);
  renderer.set_image_format(bytesPerPixel == 3 ? poppler::image::format_bgr24
                                               : poppler::image::format_argb32);
  auto image = std::make_shared<poppler::image>(renderer.render_page(page.get(), dpiX, dpiY));
  if (!image->is_valid() || image->width() <= 0 || image->height() <= 0) Fail("cannot render " + where);

  PageImage out;
  out.width = static_cast<uint32_t>(image->width());
  out.height = static_cast<uint32_t>(image->height());
  out.bytesPerPixel = bytesPerPixel;
  out.stride = StrideOf(out.width, bytesPerPixel);
  if (static_cast<size_t>(image->bytes_per_row()) != out.stride) Fail("unexpected row layout of " + where);
  out.dpiX = dpiX;
  out.dpiY = dpiY;
  out.pixels = reinterpret_cast<uint8_t*>(image->data());
  out.owner = image;
  if (bytesPerPixel == 4) {
    // Alpha over opaque paper is 0xFF already; the band contract wants exactly that.
    for (uint32_t y = 0; y < out.height; ++y) {
      uint8_t* row = out.Row(y);
      for (uint32_t x = 0; x < out.width; ++x) row[4 * x + 3] = 0xFF;
    }
  }
  return out;
}

void PdfRaster::Fail(const std::string& message) {
  std::string text = message;
  if (!g_lastPdfMessage.empty()) text += " (" + g_lastPdfMessage + ")";
  throw ToolError(text);
}

}  // namespace qxvn
