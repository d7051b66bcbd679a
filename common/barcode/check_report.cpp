#include "common/barcode/check_report.h"

#include <cstdio>

namespace qxvn::barcode {
namespace {

constexpr size_t kShownCharacters = 40;

std::string Printf(const char* format, double a, double b) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

std::string SymbolName(const Symbol& symbol) {
  std::string shown;
  size_t characters = 0;
  for (size_t i = 0; i < symbol.text.size() && characters < kShownCharacters; ++i, ++characters) {
    const auto c = static_cast<unsigned char>(symbol.text[i]);
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
      // The rest of a UTF-8 sequence goes with its first byte.
      while (i + 1 < symbol.text.size() && (static_cast<unsigned char>(symbol.text[i + 1]) & 0xC0) == 0x80)
        shown += symbol.text[++i];
    }
  }
  if (characters == kShownCharacters && shown.size() < symbol.text.size()) shown += "...";
  return symbol.format + (symbol.Gs1() ? " (GS1)" : "") + " \"" + shown + "\"";
}

std::string CheckLine(const PageCheck& page, const SymbolCheck& check) {
  const Symbol& where = check.printed ? *check.printed : check.source;
  std::string line = "page " + std::to_string(page.page) + ": " + SymbolName(check.source) + " at " +
                     std::to_string(where.box.left) + "," + std::to_string(where.box.top) + " " +
                     std::to_string(where.box.Width()) + "x" + std::to_string(where.box.Height()) +
                     (check.printed ? " dots" : " pixels of the page");
  if (check.grade) {
    line += std::string(": grade ") + GradeLetter(check.grade->grade);
    if (check.grade->limitedBy != GradeParameter::kNone)
      line += std::string(" (") + ParameterName(check.grade->limitedBy) + ")";
    line += Printf(", X %.2f mm (%.1f dots)", check.grade->xMillimetres, check.grade->xDots);
  } else if (check.printed && !check.printed->ecLevel.empty()) {
    line += ": EC level " + check.printed->ecLevel;
  } else if (check.printed) {
    line += ": read";
  }
  if (check.repaired) line += ", repaired";
  line += check.passed ? ", passed" : ", FAILED: " + check.failure;
  return line;
}

}  // namespace qxvn::barcode
