// Runs the PDF renderer process (qxvn-pdf-render) on a document and takes its answer: the page
// count, and a page when one is asked for. The process limits itself to the budget; here it is
// also stopped when it overruns the time, and everything it sends is checked before it is used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/input/page_image.h"
#include "common/input/page_source.h"

namespace qxvn {

struct PdfAnswer {
  uint32_t pages = 0;
  PageImage page;                // empty unless a page was asked for with its pixels
  PageSource::PointSize size{};  // the asked page's drawn size in points
};

struct PdfPageRequest {
  uint32_t index = 0;
  uint32_t bytesPerPixel = 3;  // 0: the page's size only, nothing rendered
};

// `document` is a readable file descriptor positioned at the document's first byte; it is left
// open. Throws ToolError saying what went wrong, or which part of the budget ran out.
PdfAnswer RunPdfRenderer(int document, double dpiX, double dpiY, const PageLimits& limits,
                         std::optional<PdfPageRequest> request);

// The renderer program: QXVN_PDF_RENDERER when set, else the one the build made.
std::string PdfRendererPath();

}  // namespace qxvn
