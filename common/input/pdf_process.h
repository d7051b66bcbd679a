// The PDF renderer process (qxvn-pdf-render) kept for one document: it reads the document once,
// then draws its pages as they are asked for. The process limits itself to the budget; here it
// is also stopped when it overruns the time, and everything it sends is checked before it is
// used. A renderer that fails or overruns ends this document only: every later request throws
// the same reason.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "common/input/page_image.h"
#include "common/input/page_source.h"
#include "common/input/pdf_protocol.h"

namespace qxvn {

class PdfRenderer {
 public:
  // Starts the renderer on `document`, a readable descriptor at the document's first byte (left
  // open; the renderer reads it once), and takes the page count. Throws ToolError saying what went
  // wrong, or which part of the budget ran out.
  PdfRenderer(int document, const PageLimits& limits);
  // Stops the renderer, also in the middle of a page.
  ~PdfRenderer();
  PdfRenderer(const PdfRenderer&) = delete;
  PdfRenderer& operator=(const PdfRenderer&) = delete;

  // From now on a renderer for `limits` is kept started and ready to draw, and each document of
  // those limits is read by a renderer forked from it: for a server, whose documents should not
  // wait for the PDF library to load. This process takes in the orphans of its children, so that
  // each forked renderer is its child. Thread-safe.
  static void KeepSpare(const PageLimits& limits);

  uint32_t Pages() const { return m_pages; }
  // Page `index`'s size in points as it is drawn.
  PageSource::PointSize DrawnSize(uint32_t index);
  // Page `index` drawn at `dpiX` x `dpiY`, `bytesPerPixel` (3 or 4) bytes a pixel, or with
  // `grayAllowed` 1 byte a pixel when every pixel of it is gray.
  PageImage Render(uint32_t index, double dpiX, double dpiY, uint32_t bytesPerPixel, bool grayAllowed);
  // Asks for page `index` as the last Render asked for its page, to be drawn only if its drawn
  // size is that page's, so that it is drawn while the caller works on the page before; a Render
  // that asks the same takes it.
  void RenderAhead(uint32_t index);

 private:
  struct Reply {
    PdfReply header;
    PageImage page;  // as it came: 1 byte a pixel when it came as gray or bits
  };
  Reply Ask(const PdfRequest& request);
  void Send(const PdfRequest& request);
  Reply Receive(const PdfRequest& request);
  bool Read(void* out, size_t size, std::chrono::steady_clock::time_point deadline);
  [[noreturn]] void Fail();
  [[noreturn]] void Failed(const std::string& reason);

  PageLimits m_limits;
  std::string m_program;
  pid_t m_pid = 0;
  int m_requests = -1;
  int m_replies = -1;
  uint32_t m_pages = 0;
  bool m_timedOut = false;
  std::string m_failure;             // once set, the answer to every request
  std::optional<PdfRequest> m_last;  // the last page rendered, as asked, with its drawn size
  std::optional<PdfRequest> m_ahead;
  std::optional<Reply> m_aheadReply;
};

// The renderer program: QXVN_PDF_RENDERER when set, else the one the build made.
std::string PdfRendererPath();

}  // namespace qxvn
