#include "common/barcode/page_check.h"

#include <algorithm>
#include <vector>

#include "common/barcode/linear_grade.h"
#include "common/barcode/symbol_reader.h"
#include "common/barcode/upright_frame.h"

namespace qxvn::barcode {
namespace {

constexpr int kScanLines = 10;

bool DarkAt(const GrayView& dots, const UprightFrame& frame, int32_t u, int32_t v) {
  const Point p = frame.PagePoint(u, v);
  return dots.At(static_cast<uint32_t>(p.x), static_cast<uint32_t>(p.y)) < 128;
}

std::optional<ScanGrade> GradeLine(const GrayView& dots, const UprightFrame& frame, const Box& upright,
                                   int32_t v, const LinearRule& rule) {
  auto line = ScanAt(dots, frame, upright, v);
  if (!line) return std::nullopt;
  Scan scan;
  scan.elements = line->elements;
  scan.leftQuiet = line->leftQuiet;
  scan.rightQuiet = line->rightQuiet;
  return GradeScan(scan, rule);
}

}  // namespace

std::optional<LineScan> ScanAt(const GrayView& dots, const UprightFrame& frame, const Box& upright,
                               int32_t v) {
  const int32_t length = frame.Width();
  if (v < 0 || v >= frame.Height()) return std::nullopt;
  const int32_t begin = std::clamp(upright.left, 0, length);
  const int32_t end = std::clamp(upright.right, 0, length);
  if (end <= begin + 2) return std::nullopt;
  // The reader's ends may stop a dot or two short of the first and last bars, or pass them.
  const int32_t slack = std::max<int32_t>(3, (end - begin) / 50);
  auto dark = [&](int32_t u) { return DarkAt(dots, frame, u, v); };
  int32_t first = begin;
  if (dark(first)) {
    while (first > 0 && dark(first - 1)) --first;
  } else {
    while (first < begin + slack && first + 1 < end && !dark(first)) ++first;
    if (!dark(first)) return std::nullopt;
  }
  int32_t last = end - 1;
  if (dark(last)) {
    while (last + 1 < length && dark(last + 1)) ++last;
  } else {
    while (last > end - 1 - slack && last > first && !dark(last)) --last;
    if (!dark(last)) return std::nullopt;
  }
  LineScan scan;
  scan.first = first;
  scan.last = last;
  for (int32_t i = first; i <= last;) {
    int32_t j = i;
    const bool bar = dark(i);
    while (j <= last && dark(j) == bar) ++j;
    scan.elements.push_back(static_cast<uint32_t>(j - i));
    i = j;
  }
  for (int32_t i = first; i > 0 && !dark(i - 1); --i) ++scan.leftQuiet;
  for (int32_t i = last + 1; i < length && !dark(i); ++i) ++scan.rightQuiet;
  return scan;
}

std::optional<LinearGrade> GradePrinted(const GrayView& dots, const Symbol& printed, double dotsPerInch) {
  const LinearRule* rule = LinearRuleFor(printed.format);
  if (!rule || printed.orientation % 90 != 0 || dots.width == 0 || dots.height == 0) return std::nullopt;
  const UprightFrame frame(printed.orientation, dots.width, dots.height);
  const Box upright = frame.UprightBox(printed.box);
  const int32_t from = std::clamp(upright.top, 0, frame.Height() - 1);
  const int32_t to = std::clamp(upright.bottom - 1, from, frame.Height() - 1);
  std::vector<ScanGrade> scans;
  const int lines = to == from ? 1 : kScanLines;
  for (int i = 0; i < lines; ++i) {
    // Evenly across the height the reader found the symbol in, its first and last lines included.
    const int32_t v = lines == 1 ? from : from + (to - from) * i / (lines - 1);
    auto scan = GradeLine(dots, frame, upright, v, *rule);
    scans.push_back(scan ? *scan : ScanGrade{Grade::kF, GradeParameter::kEdgeDetermination, 0, 0, 0});
  }
  return CombineScans(scans, dotsPerInch);
}

void Judge(SymbolCheck& check) {
  if (!check.printed) {
    check.passed = false;
    check.failure = "not read from the printed dots";
  } else if (check.grade && check.grade->grade == Grade::kF) {
    check.passed = false;
    check.failure = std::string("grade F (") + ParameterName(check.grade->limitedBy) + ")";
  } else {
    check.passed = true;
    check.failure.clear();
  }
}

PageCheck CheckPage(unsigned page, const std::vector<Symbol>& source, const GrayView& dots,
                    double dotsPerInch) {
  PageCheck result;
  result.page = page;
  if (source.empty()) return result;
  auto sameAs = [](std::vector<Symbol> read, const Symbol& symbol) -> std::optional<Symbol> {
    for (Symbol& found : read)
      if (found.SameData(symbol)) return std::move(found);
    return std::nullopt;
  };
  // Each symbol is looked for where it was laid out; the whole page is read only for one not
  // found there (the plug-in moves or turns the page with some settings).
  std::vector<Symbol> printed;
  std::vector<bool> taken;
  bool wholePageRead = false;
  for (const Symbol& symbol : source) {
    SymbolCheck check;
    check.source = symbol;
    check.printed = sameAs(ReadSymbolsNear(dots, symbol.box, {&symbol, 1}), symbol);
    if (!check.printed && !wholePageRead) {
      printed = ReadSymbols(dots, source);
      taken.assign(printed.size(), false);
      wholePageRead = true;
    }
    for (size_t i = 0; !check.printed && i < printed.size(); ++i) {
      if (taken[i] || !printed[i].SameData(symbol)) continue;
      taken[i] = true;
      check.printed = printed[i];
    }
    if (check.printed && check.printed->linear) check.grade = GradePrinted(dots, *check.printed, dotsPerInch);
    Judge(check);
    result.symbols.push_back(std::move(check));
  }
  return result;
}

}  // namespace qxvn::barcode
