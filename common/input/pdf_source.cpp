// PDF documents: every page is a page, rendered at the requested resolution on white paper,
// straight into the band layout.
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <cmath>

#include "common/input/page_source.h"
#include "common/io/mapped_file.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

// The library's complaints about a damaged file would otherwise go to standard error unasked.
std::string g_lastPdfMessage;
void KeepPdfMessage(const std::string& message, void*) { g_lastPdfMessage = message; }

class PdfSource : public PageSource {
 public:
  PdfSource(std::unique_ptr<MappedFile> file, uint32_t dpi, const PageLimits& limits)
      : m_path(file->Path()),
        m_name(MappedFile::DisplayName(m_path)),
        m_dpiX(dpi),
        m_dpiY(dpi),
        m_limits(limits) {
    // A file the library can open again itself; what came from a pipe is kept for it.
    if (!file->IsMapped()) m_piped = std::move(file);
    poppler::set_debug_error_function(KeepPdfMessage, nullptr);
    m_pages = Load();
    if (m_pages == 0) Fail("the PDF document has no pages");
  }

  size_t PageCount() const override { return m_pages; }

  std::optional<PointSize> DrawnSize(size_t index) override {
    std::unique_ptr<poppler::page> page = OpenPage(index);
    // Drawn as the renderer draws it: the crop box, turned by the page's own rotation.
    poppler::rectf box = page->page_rect(poppler::crop_box);
    const poppler::page::orientation_enum turn = page->orientation();
    const bool sideways = turn == poppler::page::landscape || turn == poppler::page::seascape;
    if (!(box.width() > 0 && box.height() > 0)) Fail("page " + std::to_string(index + 1) + " has no area");
    return sideways ? PointSize{box.height(), box.width()} : PointSize{box.width(), box.height()};
  }

  void SetResolution(double dpiX, double dpiY) override {
    m_dpiX = dpiX;
    m_dpiY = dpiY;
  }

  PageImage Render(size_t index, uint32_t bytesPerPixel) override {
    std::string where = "page " + std::to_string(index + 1);
    std::unique_ptr<poppler::page> page = OpenPage(index);
    // Refuse oversized pages before the renderer tries to allocate them: the renderer draws
    // into a bitmap of its own (4 bytes a pixel and an alpha plane), then copies it into the
    // image we keep, so both count.
    poppler::rectf box = page->page_rect(poppler::crop_box);
    poppler::rectf media = page->page_rect(poppler::media_box);
    // Either side may lie either way once the page's rotation turns it.
    const double dpi = std::max(m_dpiX, m_dpiY);
    double width = std::ceil(std::max(box.width(), media.width()) * dpi / 72.0);
    double height = std::ceil(std::max(box.height(), media.height()) * dpi / 72.0);
    if (!(width >= 1 && height >= 1)) Fail(where + " has no area");
    constexpr double kRendererBytesPerPixel = 4 + 1;
    const std::string atDpi = " at " + std::to_string(static_cast<uint32_t>(std::lround(dpi))) + " dpi";
    if (width * height > static_cast<double>(m_limits.maxPixels))
      Fail(where + " is " + std::to_string(static_cast<uint64_t>(width)) + " x " +
           std::to_string(static_cast<uint64_t>(height)) + " pixels" + atDpi + ", over the limit of " +
           std::to_string(m_limits.maxPixels) + " pixels a page");
    if (width * height * (kRendererBytesPerPixel + bytesPerPixel) > static_cast<double>(kMaxPageBytes))
      Fail(where + " is too large" + atDpi + ": rendering it takes more than " +
           std::to_string(kMaxPageBytes) + " bytes");

    poppler::page_renderer renderer;
    renderer.set_paper_color(0xFFFFFFFF);
    renderer.set_image_format(bytesPerPixel == 3 ? poppler::image::format_bgr24
                                                 : poppler::image::format_argb32);
    auto image = std::make_shared<poppler::image>(renderer.render_page(page.get(), m_dpiX, m_dpiY));
    if (!image->is_valid() || image->width() <= 0 || image->height() <= 0) Fail("cannot render " + where);

    PageImage out;
    out.width = static_cast<uint32_t>(image->width());
    out.height = static_cast<uint32_t>(image->height());
    out.bytesPerPixel = bytesPerPixel;
    out.stride = StrideOf(out.width, bytesPerPixel);
    if (static_cast<size_t>(image->bytes_per_row()) != out.stride) Fail("unexpected row layout of " + where);
    out.pixels = reinterpret_cast<uint8_t*>(image->data());
    out.owner = image;
    out.dpiX = m_dpiX;
    out.dpiY = m_dpiY;
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
  std::unique_ptr<poppler::page> OpenPage(size_t index) {
    // Opened again after Release: a document that lost or gained pages is another document.
    if (!m_document && Load() != m_pages) Fail("the file changed while printing");
    std::unique_ptr<poppler::page> page(m_document->create_page(static_cast<int>(index)));
    if (!page) Fail("cannot read page " + std::to_string(index + 1));
    return page;
  }

  // Opens the document and returns its page count.
  size_t Load() {
    g_lastPdfMessage.clear();
    if (m_piped) {
      std::span<const uint8_t> bytes = m_piped->Bytes();
      m_document.reset(poppler::document::load_from_raw_data(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<int>(bytes.size())));
    } else {
      m_document.reset(poppler::document::load_from_file(m_path));
    }
    if (!m_document) Fail("cannot open the PDF document");
    if (m_document->is_locked()) Fail("the PDF document is password-protected");
    return static_cast<size_t>(std::max(m_document->pages(), 0));
  }

  [[noreturn]] void Fail(const std::string& message) const {
    std::string text = m_name + ": " + message;
    if (!g_lastPdfMessage.empty()) text += " (" + g_lastPdfMessage + ")";
    throw ToolError(text);
  }

  std::string m_path;
  std::string m_name;
  double m_dpiX;
  double m_dpiY;
  PageLimits m_limits;
  std::unique_ptr<MappedFile> m_piped;  // null for a file the library reads itself
  std::unique_ptr<poppler::document> m_document;
  size_t m_pages = 0;
};

}  // namespace

std::unique_ptr<PageSource> OpenPdf(std::unique_ptr<MappedFile> file, uint32_t dpi,
                                    const PageLimits& limits) {
  return std::make_unique<PdfSource>(std::move(file), dpi, limits);
}

}  // namespace qxvn
