// What the page checks found: the symbols read from a page, how each one printed, and the
// grade its printed dots earn. Plain data, shared by qxvn print, the printer application and
// the job pages that draw the results.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qxvn::barcode {

// An upright rectangle in a page's pixels (for the printed page: its dots), right and bottom
// excluded.
struct Box {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool Overlaps(const Box& other) const {
    return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
  }
};

// One symbol read from a page.
struct Symbol {
  std::string format;          // "Code128", "EAN-13", "QRCode"... as the reader names it
  std::string symbologyId;     // "]C1" for GS1-128, "]Q1"...: tells GS1 data and checked data
  std::string text;            // UTF-8
  std::vector<uint8_t> bytes;  // the data as encoded (GS1: the element string, GS between fields)
  Box box;
  int orientation = 0;  // degrees clockwise the symbol is turned from upright
  bool linear = false;
  std::string ecLevel;  // 2D symbols: the error-correction level, where the reader reports it

  bool Gs1() const;
  bool SameData(const Symbol& other) const { return format == other.format && bytes == other.bytes; }
};

enum class Grade : uint8_t { kA, kB, kC, kD, kF };

// The parameter that set a linear symbol's grade.
enum class GradeParameter : uint8_t {
  kNone,               // every parameter graded A
  kDecodability,       // an element's width too far from a whole number of modules
  kEdgeDetermination,  // the scan's bars and spaces do not make the symbology's elements
  kQuietZone,          // too little white before or after the symbol
};

char GradeLetter(Grade grade);
const char* ParameterName(GradeParameter parameter);

// The grade of a linear symbol from its printed dots.
struct LinearGrade {
  Grade grade = Grade::kF;
  GradeParameter limitedBy = GradeParameter::kNone;
  double decodability = 0;  // worst scan's, 0..1
  double xDots = 0;         // X-dimension in dots
  double xMillimetres = 0;  // at the page's resolution
  double quietModules = 0;  // the narrower quiet zone, in modules
  int scans = 0;            // scan lines graded
};

// A symbol of the source page and what became of it in the printed dots.
struct SymbolCheck {
  Symbol source;                     // box in the source page's pixels
  std::optional<Symbol> printed;     // box in the printed page's dots; absent: not read there
  std::optional<LinearGrade> grade;  // linear symbols read from the dots
  bool repaired = false;             // redrawn to whole dots before printing
  bool passed = false;
  std::string failure;  // why it failed, in words; empty when it passed
};

struct PageCheck {
  unsigned page = 0;  // from 1
  std::vector<SymbolCheck> symbols;

  bool Passed() const;
};

}  // namespace qxvn::barcode
