// The grade of a linear symbol from its element widths, worked out by hand; and what may be
// redrawn: the GS1 structure a redraw keeps, and which data a check protects.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/barcode/bar_runs.h"
#include "common/barcode/helper_thread.h"
#include "common/barcode/linear_grade.h"
#include "common/barcode/page_check.h"
#include "common/barcode/repair.h"
#include "common/barcode/symbol_encoder.h"
#include "common/barcode/symbol_reader.h"

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

// `modules` drawn 3 dots a module (a linear symbol 20 modules high) at (left, top) of a white
// page, turned a quarter clockwise when `turned`.
GrayImage Drawn(const ModuleMatrix& modules, bool turned, uint32_t left, uint32_t top) {
  const uint32_t w = 3 * modules.width;
  const uint32_t h = modules.Rows() == 1 ? 60 : 3 * modules.HeightModules();
  GrayImage page(900, 900);
  for (uint32_t y = 0; y < h; ++y) {
    const int row = modules.Rows() == 1 ? 0 : static_cast<int>(y / 3);
    for (uint32_t x = 0; x < w; ++x) {
      if (!modules.Dark(static_cast<int>(x / 3), row)) continue;
      if (turned) {
        page.Row(top + x)[left + h - 1 - y] = 0;
      } else {
        page.Row(top + y)[left + x] = 0;
      }
    }
  }
  return page;
}

// Data without a check character is never drawn again, not even when every symbol is to be:
// bars read as Code 39 "LBL-42" stay as they were.
TEST(SymbolEncoder, DataWithoutACheckStaysAsItWasOnThePage) {
  Symbol checked;
  checked.format = "Code39";
  checked.text = "LBL-429";
  checked.bytes.assign(checked.text.begin(), checked.text.end());
  checked.linear = true;
  const auto modules = EncodeAgain(checked);
  ASSERT_TRUE(modules);
  GrayImage gray = Drawn(*modules, false, 40, 40);
  PageImage page = AllocatePage(gray.width, gray.height, 3, "test");
  for (uint32_t y = 0; y < gray.height; ++y)
    for (uint32_t x = 0; x < gray.width; ++x) std::memset(page.Row(y) + 3 * x, gray.Row(y)[x], 3);
  const std::vector<uint8_t> before(page.pixels, page.pixels + page.SizeBytes());
  Symbol unchecked = checked;
  unchecked.text = "LBL-42";
  unchecked.bytes.pop_back();
  unchecked.box = {40, 40, 40 + 3 * modules->width, 100};
  EXPECT_EQ(RepairSymbols(page, gray, {unchecked}, RepairMode::kAlways, 127), std::vector<bool>{false});
  EXPECT_TRUE(std::equal(before.begin(), before.end(), page.pixels));
}

// Lines that cross no bars are not read: a symbol is found upright and turned, and only the
// columns of a turned linear symbol are read turned. A linear symbol's box spans its bars.
TEST(SymbolReader, FindsSymbolsAtEitherTurnWhereLinesCrossBars) {
  auto symbol = [](const char* format, const std::string& text, bool linear) {
    Symbol s;
    s.format = format;
    s.text = text;
    s.bytes = Bytes(text);
    s.symbologyId = linear ? "]C0" : "]Q1";
    s.linear = linear;
    return s;
  };
  const Symbol code128 = symbol("Code128", "QX-0042-GB", true);
  const Symbol qr = symbol("QRCode", "https://example.com/t/1", false);
  for (const Symbol& source : {code128, qr}) {
    const auto modules = EncodeAgain(source);
    ASSERT_TRUE(modules) << source.format;
    for (bool turned : {false, true}) {
      SCOPED_TRACE(source.format + (turned ? " turned" : " upright"));
      const GrayImage page = Drawn(*modules, turned, 200, 200);
      const std::vector<Symbol> read = ReadSymbols(page.View());
      ASSERT_EQ(read.size(), 1u);
      EXPECT_TRUE(read[0].SameData(source));
      EXPECT_GE(read[0].box.left, 190);
      EXPECT_GE(read[0].box.top, 190);
      if (source.linear) {
        EXPECT_EQ(read[0].orientation, turned ? 90 : 0);
        // All 60 dots of the bars' length, also when read back on the few lines that find it.
        const std::vector<Symbol> back = ReadSymbols(page.View(), {&source, 1});
        ASSERT_EQ(back.size(), 1u);
        for (const Box& box : {read[0].box, back[0].box}) EXPECT_EQ(turned ? box.Width() : box.Height(), 60);
      }
      const BarLines lines = FindBarLines(page.View(), 8);
      EXPECT_EQ(lines.rowsWithMatrixBars, !(source.linear && turned));
      // The bars' 60 lines and a margin, across them one band of the rows or of the columns.
      if (source.linear) {
        const std::vector<Band>& across = turned ? lines.columnBands : lines.rowBands;
        ASSERT_EQ(across.size(), 1u);
        EXPECT_LE(across[0].first, 200u);
        EXPECT_GE(across[0].last, 260u);
        EXPECT_LT(across[0].last - across[0].first, 90u);
        EXPECT_TRUE((turned ? lines.rowBands : lines.columnBands).empty());
      }
    }
  }
  const GrayImage blank(700, 700);
  const BarLines none = FindBarLines(blank.View(), 8);
  EXPECT_FALSE(none.rowsWithMatrixBars);
  EXPECT_TRUE(none.rowBands.empty());
  EXPECT_TRUE(none.columnBands.empty());
  EXPECT_TRUE(ReadSymbols(blank.View()).empty());
}

// The reader's helpers run work on threads of their own, one kept from one piece to the next, and
// what the work fills is there once its Running is done: also when the caller leaves by an
// exception before it waits, so that nothing the work uses goes first.
TEST(SymbolReader, HelperWorkRunsBesideAndIsWaitedForHoweverTheCallerLeaves) {
  std::thread::id first;
  for (bool callerThrows : {false, true}) {
    std::thread::id ranOn;
    int filled = 0;
    try {
      HelperThread::Running running = HelperThread::Start([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ranOn = std::this_thread::get_id();
        filled = 42;
      });
      if (callerThrows) throw std::runtime_error("the caller fails");
      running.Wait();
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(filled, 42);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    if (!callerThrows) first = ranOn;
    EXPECT_EQ(ranOn, first);
  }
}

// A matrix symbol far from the page's centre is found on the page and read back where it was
// laid out: the reader's detectors start from the middle of the picture and miss some such
// symbols on the whole page.
TEST(PageCheck, MatrixSymbolsAwayFromThePagesCentreAreFoundAndPass) {
  struct Case {
    const char* format;
    const char* symbologyId;
  };
  for (const Case c : {Case{"DataMatrix", "]d1"}, Case{"Aztec", "]z0"}, Case{"QRCode", "]Q1"}}) {
    Symbol source;
    source.format = c.format;
    source.symbologyId = c.symbologyId;
    source.text = "QXVN-0042";
    source.bytes = Bytes(source.text);
    const auto modules = EncodeAgain(source);
    ASSERT_TRUE(modules) << c.format;
    const int32_t side = 3 * modules->width;
    for (const auto& [left, top] :
         {std::pair{20u, 20u}, {20u, 800u}, {800u, 20u}, {430u, 700u}, {420u, 420u}}) {
      SCOPED_TRACE(std::string(c.format) + " at " + std::to_string(left) + "," + std::to_string(top));
      const GrayImage page = Drawn(*modules, false, left, top);
      const std::vector<Symbol> found = ReadSymbols(page.View());
      EXPECT_TRUE(
          std::any_of(found.begin(), found.end(), [&](const Symbol& s) { return s.SameData(source); }));
      source.box = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(left) + side,
                    static_cast<int32_t>(top) + 3 * modules->HeightModules()};
      const PageCheck check = CheckPage(1, {source}, page.View());
      ASSERT_EQ(check.symbols.size(), 1u);
      EXPECT_TRUE(check.symbols[0].passed) << check.symbols[0].failure;
      ASSERT_TRUE(check.symbols[0].printed);
      EXPECT_NEAR(check.symbols[0].printed->box.left, source.box.left, 3);
      EXPECT_NEAR(check.symbols[0].printed->box.top, source.box.top, 3);
    }
  }
}

}  // namespace
}  // namespace qxvn::barcode
