#include "common/wire/preview.h"

#include <png.h>

#include <algorithm>
#include <vector>

#include "common/io/png_write.h"
#include "common/tool_error.h"

namespace qxvn::wire {
namespace {

PngLayout LayoutOf(const Page& page) {
  if (page.lines > kMaxPreviewLines)
    throw ToolError("page " + std::to_string(page.number) + " is " + std::to_string(page.lines) +
                    " lines long; previews stop at " + std::to_string(kMaxPreviewLines));
  PngLayout layout;
  layout.width = PreviewWidth(page);
  layout.height = std::max<uint32_t>(static_cast<uint32_t>(page.lines), 1);
  layout.bitDepth = 1;
  layout.colorType = PNG_COLOR_TYPE_GRAY;
  layout.dotsPerInch = 300;
  return layout;
}

// The page's rows top first, one row held: in the stream a one bit prints; in a gray PNG a zero
// bit is black.
class RowDrawer {
 public:
  explicit RowDrawer(const Page& page) : m_page(page), m_row(PreviewWidth(page) / 8, 0xFF) {}

  const uint8_t* Next() {
    while (m_run < m_page.runs.size() && m_usedOfRun == m_page.runs[m_run].lines) {
      ++m_run;
      m_usedOfRun = 0;
    }
    if (m_run == m_page.runs.size()) {
      std::fill(m_row.begin(), m_row.end(), 0xFF);
      return m_row.data();
    }
    const Run& r = m_page.runs[m_run];
    if (m_usedOfRun++ == 0) {
      std::fill(m_row.begin(), m_row.end(), 0xFF);
      for (size_t i = 0; i < r.data.size(); ++i) m_row[r.firstByte + i] = static_cast<uint8_t>(~r.data[i]);
    }
    return m_row.data();
  }

 private:
  const Page& m_page;
  std::vector<uint8_t> m_row;
  size_t m_run = 0;
  uint32_t m_usedOfRun = 0;
};

}  // namespace

uint32_t PreviewWidth(const Page& page) {
  return std::max({page.lineBytes.value_or(0), page.widestBytes, 1u}) * 8;
}

void WritePreview(const Page& page, AtomicOutput& out) {
  const PngLayout layout = LayoutOf(page);
  RowDrawer rows(page);
  WritePng(out, layout, [&rows](uint32_t) { return rows.Next(); });
}

std::vector<uint8_t> PreviewPng(const Page& page) {
  const PngLayout layout = LayoutOf(page);
  RowDrawer rows(page);
  return EncodePng(layout, [&rows](uint32_t) { return rows.Next(); });
}

}  // namespace qxvn::wire
