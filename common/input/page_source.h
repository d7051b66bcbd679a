// An input file as a source of pages. Opening reads enough to know the page count and checks
// the format; each page is decoded when it is rendered. A source may render a page again.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/input/page_image.h"

namespace qxvn {

class MappedFile;

// How much a page may claim before anything is allocated for it. The default leaves ample
// room: an A4 page at 300 dpi is 8.7 million pixels, a label of a few metres far less.
// A PDF document is read by a process of its own within a budget of memory and processor time
// (its wall-clock time may be twice that); the defaults render an A4 page at 600 dpi.
struct PageLimits {
  static constexpr uint64_t kDefaultMaxPixels = 100'000'000;
  static constexpr uint64_t kDefaultMaxMemoryBytes = uint64_t{512} << 20;
  static constexpr uint32_t kDefaultMaxSeconds = 20;
  uint64_t maxPixels = kDefaultMaxPixels;
  uint64_t maxMemoryBytes = kDefaultMaxMemoryBytes;
  uint32_t maxSeconds = kDefaultMaxSeconds;
};

// Throws ToolError naming `source` and the limit when a page of `width` x `height` is over it.
void CheckPageSize(uint64_t width, uint64_t height, const PageLimits& limits, const std::string& source);

class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual size_t PageCount() const = 0;
  // Throws ToolError naming the file and what is wrong with it.
  virtual PageImage Render(size_t index, uint32_t bytesPerPixel) = 0;
  // Render, or the page as 1 byte a pixel when each of its pixels is gray and the source has it
  // so already (for a caller that lays the page out: ComposeLabel widens it as it places it).
  virtual PageImage RenderGrayOr(size_t index, uint32_t bytesPerPixel) {
    return Render(index, bytesPerPixel);
  }
  // Lets go of what the source holds between renders (a mapped file, an open document), so
  // that a document of many inputs holds one at a time. The next Render opens the file again
  // and refuses it if it is no longer the file that was opened.
  virtual void Release() {}

  // For a format drawn at any resolution (PDF): page `index`'s size in points (1/72 inch) as it
  // is drawn, and the resolution in pixels an inch later renders draw at. An image of pixels has
  // no such size and ignores the resolution.
  struct PointSize {
    double width = 0;
    double height = 0;
  };
  virtual std::optional<PointSize> DrawnSize(size_t) { return std::nullopt; }
  virtual void SetResolution(double, double) {}
};

// Chooses the reader by the file's first bytes, not its name. `dpi` applies to PDF pages. "-"
// is standard input; a pipe or device is read once, whole, and kept.
std::unique_ptr<PageSource> OpenPageSource(const std::string& path, uint32_t dpi,
                                           const PageLimits& limits = {});

std::unique_ptr<PageSource> OpenPnm(const std::string& path, const PageLimits& limits = {});
std::unique_ptr<PageSource> OpenPng(const std::string& path, const PageLimits& limits = {});
std::unique_ptr<PageSource> OpenJpeg(const std::string& path, const PageLimits& limits = {});
std::unique_ptr<PageSource> OpenPdf(const std::string& path, uint32_t dpi, const PageLimits& limits = {});

// The readers on a file opened already (see MappedFile); `path` opens it again after Release.
std::unique_ptr<PageSource> OpenPnm(std::unique_ptr<MappedFile> file, const PageLimits& limits);
std::unique_ptr<PageSource> OpenPng(std::unique_ptr<MappedFile> file, const PageLimits& limits);
std::unique_ptr<PageSource> OpenJpeg(std::unique_ptr<MappedFile> file, const PageLimits& limits);
std::unique_ptr<PageSource> OpenPdf(std::unique_ptr<MappedFile> file, uint32_t dpi, const PageLimits& limits);

}  // namespace qxvn
