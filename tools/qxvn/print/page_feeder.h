// The document's pages for the stand-in host's page feed. Every input is opened up front, so
// that a missing or unsupported file shows before anything prints and the page count is known;
// each page is decoded only when the host reaches it, and the page before is released first,
// so that a long document needs the memory of one page.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/input/page_image.h"
#include "common/input/page_source.h"
#include "common/layout/placement.h"
#include "common/layout/render_on_label.h"
#include "host/driver_host.h"

namespace qxvn {

class PageFeeder {
 public:
  // Throws ToolError for an input that cannot be opened. With `layout`, every page is laid out
  // on that label; without it, a page is printed as decoded.
  PageFeeder(const std::vector<std::string>& inputs, uint32_t dpi, uint32_t bytesPerPixel, uint32_t bandRows,
             const PageLimits& limits = {}, std::optional<LayoutChoice> layout = std::nullopt);
  PageFeeder(const PageFeeder&) = delete;
  PageFeeder& operator=(const PageFeeder&) = delete;

  // Pages of the document, once through.
  size_t PageCount() const { return m_firstPage.back(); }
  // Decodes page `index` (from 0) now, in place of the page held; throws ToolError. The host is
  // handed this page, not a second decoding of it, if it asks for it next.
  const PageImage& Decode(size_t index);
  // PageFeed::next for a document played through once or more (collated copies): page
  // `number` (from 1) is page (number - 1) mod PageCount(), decoded again on each pass.
  bool Next(DWORD number, qxhost::PageSpec& page, std::string& error);

  // Called with each page as decoded (and laid out: with the image it was laid out from, which
  // is released after the call), before the host is handed it.
  std::function<void(size_t index, PageImage& page, const LaidOutFrom* from)> onDecoded;
  // What a laid-out page must keep whole: fill that would cut into it fits instead.
  KeepWhole keepWhole;

 private:
  std::vector<std::unique_ptr<PageSource>> m_sources;
  std::vector<std::string> m_inputs;
  PageLimits m_limits;
  std::optional<LayoutChoice> m_layout;
  std::vector<size_t> m_firstPage;  // index of each source's first page; last: the page count
  uint32_t m_bytesPerPixel;
  uint32_t m_bandRows;
  PageImage m_held;
  std::optional<size_t> m_heldIndex;
  PageSource* m_open = nullptr;  // the source rendered from last, still holding its file
};

// Bands of `bandRows` rows (0: one band) top to bottom, viewing the page's pixels.
std::vector<qxhost::BandView> CutBands(const PageImage& page, uint32_t bandRows);

}  // namespace qxvn
