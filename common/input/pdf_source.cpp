// PDF documents: every page is a page, rendered at the requested resolution on white paper,
// straight into the band layout.
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <cmath>

#include "common/input/page_source.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

// The library's complaints about a damaged file would otherwise go to standard error unasked.
std::string g_lastPdfMessage;
void KeepPdfMessage(const std::string& message, void*) { g_lastPdfMessage = message; }

class PdfSource : public PageSource {
 public:
  PdfSource(const std::string& path, uint32_t dpi) : m_path(path), m_dpi(dpi) {
    poppler::set_debug_error_function(KeepPdfMessage, nullptr);
    m_pages = Load();
    if (m_pages == 0) Fail("the PDF document has no pages");
  }

  size_t PageCount() const override { return m_pages; }

  PageImage Render(size_t index, uint32_t bytesPerPixel) override {
    // Opened again after Release: a document that lost or gained pages is another document.
    if (!m_document && Load() != m_pages) Fail("the file changed while printing");
    std::string where = "page " + std::to_string(index + 1);
    std::unique_ptr<poppler::page> page(m_document->create_page(static_cast<int>(index)));
    if (!page) Fail("cannot read " + where);
    // Refuse oversized pages before the renderer tries to allocate them.
    poppler::rectf box = page->page_rect(poppler::crop_box);
    double width = std::ceil(box.width() * m_dpi / 72.0), height = std::ceil(box.height() * m_dpi / 72.0);
    if (width < 1 || height < 1) Fail(where + " has no area");
    if (width * height * bytesPerPixel > static_cast<double>(kMaxPageBytes))
      Fail(where + " is too large at " + std::to_string(m_dpi) + " dpi");

    poppler::page_renderer renderer;
    renderer.set_paper_color(0xFFFFFFFF);
    renderer.set_image_format(bytesPerPixel == 3 ? poppler::image::format_bgr24
                                                 : poppler::image::format_argb32);
    auto image = std::make_shared<poppler::image>(renderer.render_page(page.get(), m_dpi, m_dpi));
    if (!image->is_valid() || image->width() <= 0 || image->height() <= 0) Fail("cannot render " + where);

    PageImage out;
    out.width = static_cast<uint32_t>(image->width());
    out.height = static_cast<uint32_t>(image->height());
    out.bytesPerPixel = bytesPerPixel;
    out.stride = StrideOf(out.width, bytesPerPixel);
    if (static_cast<size_t>(image->bytes_per_row()) != out.stride) Fail("unexpected row layout of " + where);
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

  void Release() override { m_document.reset(); }

 private:
  // Opens the document and returns its page count.
  size_t Load() {
    g_lastPdfMessage.clear();
    m_document.reset(poppler::document::load_from_file(m_path));
    if (!m_document) Fail("cannot open the PDF document");
    if (m_document->is_locked()) Fail("the PDF document is password-protected");
    return static_cast<size_t>(std::max(m_document->pages(), 0));
  }

  [[noreturn]] void Fail(const std::string& message) const {
    std::string text = m_path + ": " + message;
    if (!g_lastPdfMessage.empty()) text += " (" + g_lastPdfMessage + ")";
    throw ToolError(text);
  }

  std::string m_path;
  uint32_t m_dpi;
  std::unique_ptr<poppler::document> m_document;
  size_t m_pages = 0;
};

}  // namespace

std::unique_ptr<PageSource> OpenPdf(const std::string& path, uint32_t dpi) {
  return std::make_unique<PdfSource>(path, dpi);
}

}  // namespace qxvn
