#include "common/barcode/linear_grade.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace qxvn::barcode {
namespace {

// Code 128: six elements of 11 modules a character, a stop of seven elements and 13 modules;
// at least a start, a check and the stop.
int Code128Modules(size_t elements) {
  if (elements < 19 || (elements - 7) % 6 != 0) return 0;
  return static_cast<int>((elements - 7) / 6 * 11 + 13);
}

// Code 93: six elements of 9 modules a character and a one-module termination bar; at least
// a start, two checks and the stop.
int Code93Modules(size_t elements) {
  if (elements < 25 || (elements - 1) % 6 != 0) return 0;
  return static_cast<int>((elements - 1) / 6 * 9 + 1);
}

template <size_t kElements, int kModules>
int FixedModules(size_t elements) {
  return elements == kElements ? kModules : 0;
}

// Code 39: nine elements a character and a gap between characters.
int Code39Elements(size_t elements) { return elements >= 29 && (elements + 1) % 10 == 0 ? 1 : 0; }

// ITF: a start of four elements, ten for each pair of digits, a stop of three.
int ItfElements(size_t elements) { return elements >= 17 && (elements - 7) % 10 == 0 ? 1 : 0; }

struct NamedRule {
  std::string_view format;
  LinearRule rule;
};

const NamedRule kRules[] = {
    {"Code128", {false, 4, 10, 10, Code128Modules}},     {"Code93", {false, 4, 10, 10, Code93Modules}},
    {"EAN-13", {false, 4, 11, 7, FixedModules<59, 95>}}, {"UPC-A", {false, 4, 9, 9, FixedModules<59, 95>}},
    {"EAN-8", {false, 4, 7, 7, FixedModules<43, 67>}},   {"UPC-E", {false, 4, 9, 7, FixedModules<33, 51>}},
    {"Code39", {true, 0, 10, 10, Code39Elements}},       {"ITF", {true, 0, 10, 10, ItfElements}},
};

int Points(Grade grade) { return 4 - static_cast<int>(grade); }

}  // namespace

const LinearRule* LinearRuleFor(std::string_view format) {
  for (const NamedRule& named : kRules)
    if (named.format == format) return &named.rule;
  return nullptr;
}

Grade DecodabilityGrade(double decodability) {
  if (decodability >= 0.62) return Grade::kA;
  if (decodability >= 0.50) return Grade::kB;
  if (decodability >= 0.37) return Grade::kC;
  if (decodability >= 0.25) return Grade::kD;
  return Grade::kF;
}

ScanGrade GradeScan(const Scan& scan, const LinearRule& rule) {
  ScanGrade result;
  const std::span<const uint32_t> widths = scan.elements;
  const int modules = widths.empty() ? 0 : rule.modulesOf(widths.size());
  // An element of no width is no element.
  bool edgesFit = modules > 0 && std::find(widths.begin(), widths.end(), 0u) == widths.end();
  const double total = std::accumulate(widths.begin(), widths.end(), 0.0);
  double worst = 0;  // the largest error of an element, as a share of what it may be
  if (edgesFit && !rule.twoWidth) {
    result.xDots = total / modules;
    for (uint32_t width : widths) {
      const double inModules = width / result.xDots;
      const double whole = std::round(inModules);
      if (whole < 1 || whole > rule.widestModules) edgesFit = false;
      worst = std::max(worst, std::fabs(inModules - whole) / 0.5);
    }
  } else if (edgesFit) {
    // Narrow and wide split halfway between the narrowest and the widest element.
    const auto [lo, hi] = std::minmax_element(widths.begin(), widths.end());
    const double split = (*lo + *hi) / 2.0;
    double narrowSum = 0, wideSum = 0;
    size_t narrowCount = 0;
    for (uint32_t width : widths) {
      if (width <= split) {
        narrowSum += width;
        ++narrowCount;
      } else {
        wideSum += width;
      }
    }
    const size_t wideCount = widths.size() - narrowCount;
    const double narrow = narrowSum / static_cast<double>(narrowCount);
    const double wide = wideCount ? wideSum / static_cast<double>(wideCount) : 0;
    // Readers need wide elements at least one and a half narrow ones.
    if (wideCount == 0 || wide < 1.5 * narrow) {
      edgesFit = false;
    } else {
      result.xDots = narrow;
      const double margin = (wide - narrow) / 2;
      for (uint32_t width : widths)
        worst = std::max(worst, std::fabs(width - (width <= split ? narrow : wide)) / margin);
    }
  }
  if (!edgesFit) {
    result.limitedBy = GradeParameter::kEdgeDetermination;
    return result;
  }
  result.decodability = std::max(0.0, 1 - worst);
  result.quietModules = std::min(scan.leftQuiet, scan.rightQuiet) / result.xDots;
  const bool quietEnough = scan.leftQuiet >= rule.leftQuietModules * result.xDots - 0.5 &&
                           scan.rightQuiet >= rule.rightQuietModules * result.xDots - 0.5;
  result.grade = DecodabilityGrade(result.decodability);
  result.limitedBy = result.grade == Grade::kA ? GradeParameter::kNone : GradeParameter::kDecodability;
  if (!quietEnough) {
    result.grade = Grade::kF;
    result.limitedBy = GradeParameter::kQuietZone;
  }
  return result;
}

LinearGrade CombineScans(std::span<const ScanGrade> scans, double dotsPerInch) {
  LinearGrade result;
  result.scans = static_cast<int>(scans.size());
  if (scans.empty()) {
    result.limitedBy = GradeParameter::kEdgeDetermination;
    return result;
  }
  int points = 0;
  const ScanGrade* worst = &scans.front();
  double xSum = 0;
  int xScans = 0;
  result.decodability = 1;
  result.quietModules = scans.front().quietModules;
  for (const ScanGrade& scan : scans) {
    points += Points(scan.grade);
    if (scan.grade > worst->grade) worst = &scan;
    result.decodability = std::min(result.decodability, scan.decodability);
    result.quietModules = std::min(result.quietModules, scan.quietModules);
    if (scan.xDots > 0) {
      xSum += scan.xDots;
      ++xScans;
    }
  }
  // Grade points averaged, A 4 to F 0, rounded to the nearest grade.
  const double average = static_cast<double>(points) / static_cast<double>(scans.size());
  result.grade = static_cast<Grade>(4 - std::clamp(static_cast<int>(std::floor(average + 0.5)), 0, 4));
  result.limitedBy = result.grade == Grade::kA ? GradeParameter::kNone : worst->limitedBy;
  result.xDots = xScans ? xSum / xScans : 0;
  result.xMillimetres = dotsPerInch > 0 ? result.xDots * 25.4 / dotsPerInch : 0;
  return result;
}

}  // namespace qxvn::barcode
