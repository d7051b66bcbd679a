// The grade of a linear symbol from one scan line of its printed dots: bars and spaces as whole
// dots, so of the print-quality parameters only those that 1-bit dots can show are graded —
// decodability (each element's width against its nearest whole number of modules, or for the
// two-width symbologies against its class), edge determination (the elements make the
// symbology's structure) and the quiet zones. Arithmetic only: widths in, grade out.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "common/barcode/symbol.h"

namespace qxvn::barcode {

// What a symbology asks of a scan.
struct LinearRule {
  bool twoWidth = false;  // narrow and wide elements (Code 39, ITF) instead of whole modules
  int widestModules = 4;  // of a whole-module symbology's elements
  double leftQuietModules = 10;
  double rightQuietModules = 10;
  // Modules of a symbol of `elements` bars and spaces; 0 when no symbol has that many.
  int (*modulesOf)(size_t elements) = nullptr;
};

// The rule for a format name as Symbol::format gives it; null for a format not graded.
const LinearRule* LinearRuleFor(std::string_view format);

// One scan: the widths of the symbol's elements, bar first, and the white before and after it.
struct Scan {
  std::span<const uint32_t> elements;
  uint32_t leftQuiet = 0;
  uint32_t rightQuiet = 0;
};

struct ScanGrade {
  Grade grade = Grade::kF;
  GradeParameter limitedBy = GradeParameter::kNone;
  double decodability = 0;
  double xDots = 0;
  double quietModules = 0;  // the narrower side's
};

// Decodability grades as for printed symbols: A from 0.62, B 0.50, C 0.37, D 0.25.
Grade DecodabilityGrade(double decodability);

ScanGrade GradeScan(const Scan& scan, const LinearRule& rule);

// The symbol's grade is the average of its scans' grades; it is limited by what limited the
// worst scan. `dotsPerInch` gives the X-dimension in millimetres.
LinearGrade CombineScans(std::span<const ScanGrade> scans, double dotsPerInch);

}  // namespace qxvn::barcode
