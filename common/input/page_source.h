// An input file as a source of pages. Opening reads enough to know the page count and checks
// the format; each page is decoded when it is rendered. A source may render a page again.
#pragma once

#include <memory>
#include <string>

#include "common/input/page_image.h"

namespace qxvn {

class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual size_t PageCount() const = 0;
  // Throws ToolError naming the file and what is wrong with it.
  virtual PageImage Render(size_t index, uint32_t bytesPerPixel) = 0;
  // Lets go of what the source holds between renders (a mapped file, an open document), so
  // that a document of many inputs holds one at a time. The next Render opens the file again
  // and refuses it if it is no longer the file that was opened.
  virtual void Release() {}
};

// Chooses the reader by the file's first bytes, not its name. `dpi` applies to PDF pages.
std::unique_ptr<PageSource> OpenPageSource(const std::string& path, uint32_t dpi);

std::unique_ptr<PageSource> OpenPnm(const std::string& path);
std::unique_ptr<PageSource> OpenPng(const std::string& path);
std::unique_ptr<PageSource> OpenPdf(const std::string& path, uint32_t dpi);

}  // namespace qxvn
