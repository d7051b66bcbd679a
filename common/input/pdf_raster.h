// The PDF library's side of reading a PDF: opening a document held in memory and rendering
// one of its pages into the band layout. Only the renderer process links it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "common/input/page_image.h"

namespace qxvn {

class PdfRaster {
 public:
  // `bytes` must outlive the object. Throws ToolError (without the file's name) when the
  // document cannot be opened or is password-protected.
  explicit PdfRaster(std::span<const uint8_t> bytes);
  ~PdfRaster();

  size_t PageCount() const;
  // The page's size in points as it is drawn: its crop box, turned by its own rotation.
  std::pair<double, double> DrawnSize(size_t index);
  // Refuses a page over `maxPixels` at `dpiX` x `dpiY`, one whose rendering would pass the largest page
  // buffer, or (when `maxMemoryBytes` is not 0) one whose bitmaps would not fit that memory
  // budget, before the renderer allocates anything for it.
  PageImage Render(size_t index, double dpiX, double dpiY, uint64_t maxPixels, uint32_t bytesPerPixel,
                   uint64_t maxMemoryBytes = 0);

 private:
  [[noreturn]] static void Fail(const std::string& message);
  struct Document;
  std::unique_ptr<Document> m_document;
};

}  // namespace qxvn
