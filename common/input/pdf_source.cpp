// PDF documents: every page is a page, rendered at the requested resolution by the PDF renderer
// process within the document budget, so that the PDF library is loaded only when a PDF is
// read and a hostile document costs this process nothing.
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
    // for every render.
    if (!file->IsMapped()) m_piped = KeepInMemory(file->Bytes());
    m_pages = Ask(std::nullopt).pages;
  }

  size_t PageCount() const override { return m_pages; }

  std::optional<PointSize> DrawnSize(size_t index) override {
    return Answer(PdfPageRequest{static_cast<uint32_t>(index), 0}).size;
  }

  void SetResolution(double dpiX, double dpiY) override {
    m_dpiX = dpiX;
    m_dpiY = dpiY;
  }

  PageImage Render(size_t index, uint32_t bytesPerPixel) override {
    return Answer(PdfPageRequest{static_cast<uint32_t>(index), bytesPerPixel}).page;
  }

 private:
  PdfAnswer Answer(PdfPageRequest request) const {
    if (request.index >= m_pages)
      Fail("page " + std::to_string(request.index + 1) + " is not in the document");
    PdfAnswer answer = Ask(request);
    // A document that lost or gained pages since it was opened is another document.
    if (answer.pages != m_pages) Fail("the file changed while printing");
    return answer;
  }

  PdfAnswer Ask(std::optional<PdfPageRequest> request) const {
    Descriptor document;
    if (m_piped.Get() >= 0) {
      document = Descriptor(dup(m_piped.Get()));
      if (document.Get() >= 0) lseek(document.Get(), 0, SEEK_SET);
    } else {
      document = Descriptor(open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    }
    if (document.Get() < 0) throw ToolError("cannot read " + m_name + ": " + std::strerror(errno));
    try {
      return RunPdfRenderer(document.Get(), m_dpiX, m_dpiY, m_limits, request);
    } catch (const ToolError& e) {
      Fail(e.what());
    }
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
};

}  // namespace

std::unique_ptr<PageSource> OpenPdf(std::unique_ptr<MappedFile> file, uint32_t dpi,
                                    const PageLimits& limits) {
  return std::make_unique<PdfSource>(std::move(file), dpi, limits);
}

}  // namespace qxvn
