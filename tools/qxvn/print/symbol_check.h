// The bar codes of a qxvn print job: each page's symbols read (and repaired) as the page is
// decoded, and with --verify looked for again in the stream the plug-in wrote.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "common/barcode/page_symbols.h"
#include "tools/qxvn/print/print_options.h"
#include "tools/qxvn/print/printer_data.h"

namespace qxvn {

// The plug-in's GrayThreshold in the printer data (the last value set, when in its range).
uint8_t ThresholdOf(const PrinterData& data);

class JobSymbols {
 public:
  JobSymbols(const PrintOptions& options, uint8_t threshold) : m_options(options), m_threshold(threshold) {}

  // For PageFeeder::keepWhole: the bar codes of the document page, kept for OnPage.
  std::vector<DocumentArea> SymbolAreas(const PageImage& document);
  // For PageFeeder::onDecoded. A page decoded again (collated copies) is read and repaired again.
  void OnPage(size_t index, PageImage& page, const LaidOutFrom* from);

  // The stream's pages, each document page once, checked against the symbols read from it.
  // `pageCount`: pages of the document. Throws ToolError for a stream the reader refuses.
  std::vector<barcode::PageCheck> Verify(std::span<const uint8_t> stream, size_t pageCount) const;
  // Pages (from 1) too large to be read.
  std::vector<size_t> Unchecked() const;

 private:
  const PrintOptions& m_options;
  uint8_t m_threshold;
  std::map<size_t, barcode::PreparedPage> m_pages;
  std::optional<std::vector<barcode::Symbol>> m_documentSymbols;  // of the page being laid out
};

}  // namespace qxvn
