#include "common/barcode/symbol.h"

#include <algorithm>

namespace qxvn::barcode {

// The symbology identifier's modifier tells GS1 data: ]C1 (GS1-128), ]Q3, ]d2, ]e0 and ]z1, ]z4
bool Symbol::Gs1() const {
  static constexpr const char* kGs1Ids[] = {"]C1", "]Q3", "]Q4", "]d2", "]d5", "]e0", "]z1", "]z4"};
  return std::any_of(std::begin(kGs1Ids), std::end(kGs1Ids),
                     [this](const char* id) { return symbologyId == id; });
}

char GradeLetter(Grade grade) { return "ABCDF"[static_cast<int>(grade)]; }

const char* ParameterName(GradeParameter parameter) {
  switch (parameter) {
    case GradeParameter::kNone:
      return "none";
    case GradeParameter::kDecodability:
      return "decodability";
    case GradeParameter::kEdgeDetermination:
      return "edge determination";
    case GradeParameter::kQuietZone:
      return "quiet zone";
  }
  return "none";
}

bool PageCheck::Passed() const {
  return std::all_of(symbols.begin(), symbols.end(), [](const SymbolCheck& s) { return s.passed; });
}

}  // namespace qxvn::barcode
