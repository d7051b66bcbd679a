#include "tools/qxvn/print/page_feeder.h"

#include <algorithm>
#include <new>

#include "common/io/mapped_file.h"
#include "common/layout/render_on_label.h"
#include "common/tool_error.h"

namespace qxvn {

PageFeeder::PageFeeder(const std::vector<std::string>& inputs, uint32_t dpi, uint32_t bytesPerPixel,
                       uint32_t bandRows, const PageLimits& limits, std::optional<LayoutChoice> layout)
    : m_inputs(inputs),
      m_limits(limits),
      m_layout(layout),
      m_bytesPerPixel(bytesPerPixel),
      m_bandRows(bandRows) {
  m_firstPage.push_back(0);
  for (const std::string& input : inputs) {
    m_sources.push_back(OpenPageSource(input, dpi, limits));
    m_firstPage.push_back(m_firstPage.back() + m_sources.back()->PageCount());
    // The first input is decoded first; the others wait without holding their files.
    if (m_sources.size() > 1) m_sources.back()->Release();
  }
  if (!m_sources.empty()) m_open = m_sources.front().get();
}

const PageImage& PageFeeder::Decode(size_t index) {
  // The page before goes first, so that two pages are never held at once.
  m_held = PageImage{};
  m_heldIndex.reset();
  const auto next = std::upper_bound(m_firstPage.begin(), m_firstPage.end(), index);
  const auto source = static_cast<size_t>(next - m_firstPage.begin()) - 1;
  PageSource* reader = m_sources[source].get();
  if (m_open && m_open != reader) m_open->Release();
  m_open = reader;
  const size_t page = index - m_firstPage[source];
  LaidOutFrom from;
  m_held = m_layout ? RenderOnLabel(*reader, page, *m_layout, m_bytesPerPixel, m_limits,
                                    MappedFile::DisplayName(m_inputs[source]), &from, keepWhole)
                    : reader->Render(page, m_bytesPerPixel);
  if (onDecoded) onDecoded(index, m_held, m_layout ? &from : nullptr);
  from = LaidOutFrom{};
  m_heldIndex = index;
  return m_held;
}

bool PageFeeder::Next(DWORD number, qxhost::PageSpec& page, std::string& error) {
  const size_t index = (number - 1) % PageCount();
  try {
    if (m_heldIndex != index) Decode(index);
  } catch (const ToolError& e) {
    error = e.what();
    return false;
  } catch (const std::bad_alloc&) {
    error = "out of memory";
    return false;
  }
  page.bands = CutBands(m_held, m_bandRows);
  return true;
}

std::vector<qxhost::BandView> CutBands(const PageImage& page, uint32_t bandRows) {
  const uint32_t rows = bandRows ? bandRows : page.height;
  const auto bitsPerPixel = static_cast<WORD>(page.bytesPerPixel * 8);
  std::vector<qxhost::BandView> bands;
  for (uint32_t top = 0; top < page.height; top += rows) {
    bands.push_back(qxhost::MakeBand(page.Row(top), static_cast<LONG>(page.width),
                                     static_cast<LONG>(std::min(rows, page.height - top)), bitsPerPixel,
                                     static_cast<LONG>(top)));
  }
  return bands;
}

}  // namespace qxvn
