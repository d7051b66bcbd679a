#include "tools/qxvn/print/symbol_check.h"

#include <cstdio>
#include <set>

#include "common/tool_error.h"
#include "common/wire/page_dots.h"
#include "common/wire/warning_report.h"
#include "common/wire/wire_reader.h"

namespace qxvn {
namespace {

bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) {
      return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

class PageCollector : public wire::StreamListener {
 public:
  void OnPageEnd(const wire::Page& page) override { pages.push_back(page); }
  std::vector<wire::Page> pages;
};

}  // namespace

uint8_t ThresholdOf(const PrinterData& data) {
  uint8_t threshold = barcode::kDefaultThreshold;
  for (const auto& [name, value] : data) {
    if (!SameNameIgnoringCase(name, u"GrayThreshold") || value.type != REG_DWORD || value.data.size() != 4)
      continue;
    const uint32_t dword =
        value.data[0] | value.data[1] << 8 | value.data[2] << 16 | uint32_t{value.data[3]} << 24;
    // The plug-in ignores a value out of its range, keeping the one before.
    if (dword >= 1 && dword <= 254) threshold = static_cast<uint8_t>(dword);
  }
  return threshold;
}

std::vector<DocumentArea> JobSymbols::SymbolAreas(const PageImage& document) {
  std::vector<barcode::Symbol> found;
  std::vector<DocumentArea> areas = barcode::SymbolAreas(document, &found);
  m_documentSymbols = std::move(found);
  return areas;
}

void JobSymbols::OnPage(size_t index, PageImage& page, const LaidOutFrom* from) {
  if (from && from->fittedToKeepWhole)
    std::fprintf(stderr,
                 "qxvn: page %zu: fit to the label instead of filling it, so as not to cut a bar code\n",
                 index + 1);
  const std::optional<std::vector<barcode::Symbol>> documentSymbols = std::move(m_documentSymbols);
  m_documentSymbols.reset();
  const bool diffused = m_options.content == Content::kPhoto || m_options.content == Content::kGraphics;
  if (m_options.repair == barcode::RepairMode::kOff && !m_options.verify && !diffused) return;
  barcode::PreparedPage& prepared = m_pages[index] = barcode::PreparePage(
      page, m_options.repair, m_threshold, from, documentSymbols ? &*documentSymbols : nullptr);
  if (!diffused) return;
  DiffuseContent(page, m_options.content, barcode::Surroundings(page, prepared.symbols, m_threshold));
}

std::vector<size_t> JobSymbols::Unchecked() const {
  std::vector<size_t> pages;
  for (const auto& [index, prepared] : m_pages)
    if (prepared.unchecked) pages.push_back(index + 1);
  return pages;
}

std::vector<barcode::PageCheck> JobSymbols::Verify(std::span<const uint8_t> stream, size_t pageCount) const {
  PageCollector collector;
  if (auto error = wire::ReadStream(stream, collector))
    throw ToolError("the printed stream cannot be read back: " + wire::OffsetText(error->offset) + ": " +
                    error->message);
  // The plug-in writes each copy of a page in turn; a collated document of several pages is
  // played once a copy.
  const bool collated = m_options.collate && m_options.copies > 1 && pageCount > 1;
  std::vector<barcode::PageCheck> checks;
  std::set<size_t> done;
  for (size_t i = 0; i < collector.pages.size(); ++i) {
    const size_t index = collated ? i % pageCount : i / m_options.copies;
    if (!done.insert(index).second) continue;
    const auto prepared = m_pages.find(index);
    if (prepared == m_pages.end() || prepared->second.symbols.empty()) continue;
    const barcode::GrayImage dots = wire::PageDots(collector.pages[i]);
    checks.push_back(barcode::CheckPrinted(static_cast<unsigned>(index + 1), prepared->second, dots.View()));
  }
  return checks;
}

}  // namespace qxvn
