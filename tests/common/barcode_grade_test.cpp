// The grade of a linear symbol from its element widths, worked out by hand; and what may be
// redrawn: the GS1 structure a redraw keeps, and which data a check protects.
#include <gtest/gtest.h>

#include <vector>

#include "common/barcode/linear_grade.h"
#include "common/barcode/symbol_encoder.h"

namespace qxvn::barcode {
namespace {

// A Code 128 symbol of a start, a check and the stop: 19 elements, 35 modules.
std::vector<uint32_t> Code128Dots(uint32_t dotsPerModule) {
  std::vector<uint32_t> widths;
  for (uint32_t modules : {2, 1, 1, 2, 1, 4, 1, 2, 2, 2, 2, 2, 2, 3, 3, 1, 1, 1, 2})
    widths.push_back(modules * dotsPerModule);
  return widths;
}

// Code 39 of three characters: nine elements (three wide) and a gap between characters.
std::vector<uint32_t> Code39Dots(uint32_t narrow, uint32_t wide) {
  std::vector<uint32_t> widths;
  for (int character = 0; character < 3; ++character) {
    for (uint32_t w : {wide, narrow, narrow, wide, narrow, narrow, narrow, narrow, wide}) widths.push_back(w);
    if (character < 2) widths.push_back(narrow);
  }
  return widths;
}

TEST(LinearGrade, ScansGradedByTheirWorstParameter) {
  const LinearRule& code128 = *LinearRuleFor("Code128");
  const LinearRule& code39 = *LinearRuleFor("Code39");
  struct Case {
    const char* name;
    std::vector<uint32_t> widths;
    uint32_t leftQuiet, rightQuiet;
    const LinearRule& rule;
    Grade grade;
    GradeParameter limitedBy;
    double decodability, xDots;
  };
  std::vector<uint32_t> oneWide = Code128Dots(2);
  oneWide[1] = 3;  // 71 dots: X 71/35 = 2.0286, the element 1.479 modules, 0.479 off: V 0.042
  std::vector<uint32_t> slightlyWide = Code128Dots(4);
  slightlyWide[1] = 5;  // 141 dots: X 4.0286, the element 1.241 modules: V 1 - 0.241 / 0.5 = 0.518
  std::vector<uint32_t> narrowOff = Code39Dots(2, 5);
  narrowOff[1] = 3;  // narrow mean 41/20 = 2.05, margin (5 - 2.05) / 2: V 1 - 0.95 / 1.475 = 0.356
  std::vector<uint32_t> tooMany = Code128Dots(2);
  tooMany.push_back(2);
  std::vector<uint32_t> empty = Code128Dots(2);
  empty[3] = 0;
  const std::vector<Case> cases = {
      {"whole dots", Code128Dots(2), 20, 20, code128, Grade::kA, GradeParameter::kNone, 1.0, 2.0},
      {"a bar a dot wide", oneWide, 30, 30, code128, Grade::kF, GradeParameter::kDecodability, 0.0423,
       2.0286},
      {"a bar a quarter wide", slightlyWide, 40, 40, code128, Grade::kB, GradeParameter::kDecodability,
       0.5177, 4.0286},
      {"quiet zone a dot short", Code128Dots(2), 19, 20, code128, Grade::kF, GradeParameter::kQuietZone, 1.0,
       2.0},
      {"an element too many", tooMany, 20, 20, code128, Grade::kF, GradeParameter::kEdgeDetermination, 0, 0},
      {"an element of no width", empty, 20, 20, code128, Grade::kF, GradeParameter::kEdgeDetermination, 0, 0},
      {"two widths", Code39Dots(2, 5), 20, 20, code39, Grade::kA, GradeParameter::kNone, 1.0, 2.0},
      {"a narrow element wide", narrowOff, 21, 21, code39, Grade::kD, GradeParameter::kDecodability, 0.3559,
       2.05},
      {"wide too narrow", Code39Dots(2, 2), 20, 20, code39, Grade::kF, GradeParameter::kEdgeDetermination, 0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScanGrade g = GradeScan({c.widths, c.leftQuiet, c.rightQuiet}, c.rule);
    EXPECT_EQ(g.grade, c.grade);
    EXPECT_EQ(g.limitedBy, c.limitedBy);
    EXPECT_NEAR(g.decodability, c.decodability, 0.001);
    EXPECT_NEAR(g.xDots, c.xDots, 0.001);
  }
  EXPECT_EQ(DecodabilityGrade(0.62), Grade::kA);
  EXPECT_EQ(DecodabilityGrade(0.6199), Grade::kB);
  EXPECT_EQ(DecodabilityGrade(0.37), Grade::kC);
  EXPECT_EQ(DecodabilityGrade(0.2499), Grade::kF);
  EXPECT_EQ(LinearRuleFor("QRCode"), nullptr);
}

TEST(LinearGrade, TheSymbolGradeIsTheScansAverageNamingTheWorstScansParameter) {
  const ScanGrade a{Grade::kA, GradeParameter::kNone, 1, 2, 12};
  const ScanGrade f{Grade::kF, GradeParameter::kQuietZone, 0.9, 2, 4};
  // (4 + 4 + 0) / 3 = 2.67 rounds to B; X 2 dots at 300 dpi is 0.169 mm.
  const ScanGrade scans[] = {a, a, f};
  const LinearGrade g = CombineScans(scans, 300);
  EXPECT_EQ(g.grade, Grade::kB);
  EXPECT_EQ(g.limitedBy, GradeParameter::kQuietZone);
  EXPECT_NEAR(g.xMillimetres, 0.1693, 0.0001);
  EXPECT_DOUBLE_EQ(g.decodability, 0.9);
  EXPECT_DOUBLE_EQ(g.quietModules, 4);
  EXPECT_EQ(CombineScans(std::span<const ScanGrade>(scans, 2), 300).grade, Grade::kA);
  EXPECT_EQ(CombineScans({}, 300).grade, Grade::kF);
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(SymbolEncoder, Gs1DataKeepsItsIdentifiersAndOnlyCheckedDataIsRedrawn) {
  EXPECT_EQ(Gs1Bracketed(Bytes("010950110153000310AB12")), "[01]09501101530003[10]AB12");
  EXPECT_EQ(Gs1Bracketed(Bytes("10ABC\x1d"
                               "17250101")),
            "[10]ABC[17]250101");
  EXPECT_EQ(Gs1Bracketed(Bytes("3103000150")), "[3103]000150");
  EXPECT_EQ(Gs1Bracketed(Bytes("01123")), std::nullopt);  // 01 is 14 digits
  EXPECT_EQ(Gs1Bracketed(Bytes("9")), std::nullopt);
  EXPECT_EQ(Gs1Bracketed(Bytes("")), std::nullopt);

  auto symbol = [](const char* format, const std::string& text, const char* id = "]C0") {
    Symbol s;
    s.format = format;
    s.text = text;
    s.bytes = Bytes(text);
    s.symbologyId = id;
    s.linear = true;
    return s;
  };
  // LBL-42's modulo-43 check is 9 (21 + 11 + 21 + 36 + 4 + 2 = 95, 95 mod 43 = 9).
  EXPECT_FALSE(DataProtected(symbol("Code39", "LBL-42")));
  EXPECT_TRUE(DataProtected(symbol("Code39", "LBL-429")));
  EXPECT_FALSE(EncodeAgain(symbol("Code39", "LBL-42")));
  EXPECT_TRUE(DataProtected(symbol("ITF", "12345678901231")));
  EXPECT_FALSE(DataProtected(symbol("ITF", "12345678901232")));
  EXPECT_FALSE(DataProtected(symbol("ITF", "123456")));
  // A GS1-128 symbol is drawn again as GS1: start, FNC1, 01 and 14 digits in code C, 10, AB12.
  Symbol gs1 = symbol("Code128", "010950110153000310AB12", "]C1");
  const auto modules = EncodeAgain(gs1);
  ASSERT_TRUE(modules);
  EXPECT_EQ(modules->Rows(), 1);
  EXPECT_EQ((modules->width - 13) % 11, 0);
}

}  // namespace
}  // namespace qxvn::barcode
