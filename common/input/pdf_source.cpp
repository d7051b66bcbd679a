// PDF documents: every page is a page, rendered at the requested resolution by one PDF renderer
// process for the document, within the document budget, so that the PDF library is loaded only
// when a PDF is read and a hostile document costs this process nothing.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/input/page_source.h"
#include "common/input/pdf_process.h"
#include "common/io/mapped_file.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

// A descriptor closed with its owner.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : m_fd(fd) {}
  Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
  }
  ~Descriptor() {
    if (m_fd >= 0) close(m_fd);
  }
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

class PdfSource : public PageSource {
 public:
  PdfSource(std::unique_ptr<MappedFile> file, uint32_t dpi, const PageLimits& limits)
      : m_path(file->Path()),
        m_name(MappedFile::DisplayName(m_path)),
        m_dpiX(dpi),
        m_dpiY(dpi),
        m_limits(limits) {
    // What came from a pipe is kept in a memory file the renderer reads; a file is opened again
    // when the renderer is started again after Release.
    if (!file->IsMapped()) m_piped = KeepInMemory(file->Bytes());
    m_pages = Renderer().Pages();
  }

  size_t PageCount() const override { return m_pages; }

  std::optional<PointSize> DrawnSize(size_t index) override {
    CheckIndex(index);
    PdfRenderer& renderer = Renderer();  // its errors name the file already
    try {
      return renderer.DrawnSize(static_cast<uint32_t>(index));
    } catch (const ToolError& e) {
      Fail(e.what());
    }
  }

  void SetResolution(double dpiX, double dpiY) override {
    m_dpiX = dpiX;
    m_dpiY = dpiY;
  }

  PageImage Render(size_t index, uint32_t bytesPerPixel) override {
    return Draw(index, bytesPerPixel, false);
  }
  PageImage RenderGrayOr(size_t index, uint32_t bytesPerPixel) override {
    return Draw(index, bytesPerPixel, true);
  }

  // The renderer ends; the next page starts another on the file as it is then.
  void Release() override { m_renderer.reset(); }

 private:
  PageImage Draw(size_t index, uint32_t bytesPerPixel, bool grayAllowed) {
    CheckIndex(index);
    PdfRenderer& renderer = Renderer();
    try {
      const auto page = static_cast<uint32_t>(index);
      PageImage image = renderer.Render(page, m_dpiX, m_dpiY, bytesPerPixel, grayAllowed);
      // The next page is drawn while this one prints, on the guess that it has this one's size
      // and so is laid out alike.
      if (page + 1 < m_pages) renderer.RenderAhead(page + 1);
      return image;
    } catch (const ToolError& e) {
      Fail(e.what());
    }
  }

  void CheckIndex(size_t index) const {
    if (index >= m_pages) Fail("page " + std::to_string(index + 1) + " is not in the document");
  }

  PdfRenderer& Renderer() {
    if (m_renderer) return *m_renderer;
    Descriptor document;
    if (m_piped.Get() >= 0) {
      document = Descriptor(dup(m_piped.Get()));
      if (document.Get() >= 0) lseek(document.Get(), 0, SEEK_SET);
    } else {
      document = Descriptor(open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    }
    if (document.Get() < 0) throw ToolError("cannot read " + m_name + ": " + std::strerror(errno));
    try {
      m_renderer = std::make_unique<PdfRenderer>(document.Get(), m_limits);
    } catch (const ToolError& e) {
      Fail(e.what());
    }
    // A document that lost or gained pages since it was opened is another document.
    if (m_pages != 0 && m_renderer->Pages() != m_pages) {
      m_renderer.reset();
      Fail("the file changed while printing");
    }
    return *m_renderer;
  }

  Descriptor KeepInMemory(std::span<const uint8_t> bytes) const {
    Descriptor memory(memfd_create("qxvn-pdf", MFD_CLOEXEC));
    size_t done = 0;
    while (memory.Get() >= 0 && done < bytes.size()) {
      ssize_t n = write(memory.Get(), bytes.data() + done, bytes.size() - done);
      if (n <= 0) Fail(std::string("cannot keep the document: ") + std::strerror(errno));
      done += static_cast<size_t>(n);
    }
    if (memory.Get() < 0) Fail(std::string("cannot keep the document: ") + std::strerror(errno));
    return memory;
  }

  [[noreturn]] void Fail(const std::string& message) const { throw ToolError(m_name + ": " + message); }

  std::string m_path;
  std::string m_name;
  double m_dpiX;
  double m_dpiY;
  PageLimits m_limits;
  Descriptor m_piped;  // -1 for a file opened by its path
  size_t m_pages = 0;
  std::unique_ptr<PdfRenderer> m_renderer;  // kept from page to page until Release
};

}  // namespace

std::unique_ptr<PageSource> OpenPdf(std::unique_ptr<MappedFile> file, uint32_t dpi,
                                    const PageLimits& limits) {
  return std::make_unique<PdfSource>(std::move(file), dpi, limits);
}

}  // namespace qxvn
