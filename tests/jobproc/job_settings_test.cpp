#include <gtest/gtest.h>

#include <cstring>

#include "settings/label_settings.h"
#include "tests/support/job_fixture.h"

namespace {

using qxhost::PrinterValue;
using qxtest::JobFixture;

PrinterValue Value(DWORD type, std::vector<BYTE> data) { return PrinterValue{type, std::move(data)}; }

PrinterValue Text(const std::u16string& s) {
  std::vector<BYTE> data((s.size() + 1) * 2);
  std::memcpy(data.data(), s.c_str(), data.size());
  return Value(REG_SZ, data);
}

TEST(ReadPrinterDword, AcceptsOnlyADwordThatFitsFourBytes) {
  JobFixture f;
  struct Case {
    const char* what;
    PrinterValue value;
    bool ok;
    DWORD read;
  };
  const Case cases[] = {
      {"dword", Value(REG_DWORD, {0x78, 0x56, 0x34, 0x12}), true, 0x12345678},
      {"short dword", Value(REG_DWORD, {0x34, 0x12}), true, 0x1234},
      {"empty dword", Value(REG_DWORD, {}), true, 0},
      {"long dword", Value(REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}), false, 0},
      {"binary", Value(REG_BINARY, {1, 0, 0, 0}), false, 0},
      {"big endian", Value(REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}), false, 0},
      {"string", Text(u"150"), false, 0},
      {"four-byte string", Text(u"9"), false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qxhost::SetPrinterValue(f.printer, u"Key", c.value);
    DWORD value = 0xFFFFFFFF;
    EXPECT_EQ(read_printer_dword(f.printer, WSTR("Key"), &value), c.ok ? TRUE : FALSE);
    if (c.ok) {
      EXPECT_EQ(value, c.read);
    }
  }
  DWORD value = 0;
  EXPECT_FALSE(read_printer_dword(f.printer, WSTR("Missing"), &value));
  EXPECT_FALSE(read_printer_dword(nullptr, WSTR("Key"), &value));
}

class JobSettings : public ::testing::Test {
 protected:
  // Runs a job start and returns the setting trace lines it wrote.
  std::vector<std::string> Start() {
    f.trace.Clear();
    EXPECT_TRUE(f.StartJob());
    std::vector<std::string> texts = f.trace.Texts();
    EXPECT_FALSE(texts.empty());
    if (!texts.empty()) texts.erase(texts.begin());  // the job line
    return texts;
  }
  void Set(const char16_t* key, DWORD value) { qxhost::SetPrinterDword(f.printer, key, value); }

  JobFixture f;
};

TEST_F(JobSettings, AllKeysInTheirOrderWithTheirTraces) {
  const std::pair<const char16_t*, DWORD> values[] = {
      {u"OffsetY", 100}, {u"OffsetX", 25},     {u"VerAlignment", 2}, {u"HorAlignment", 1},
      {u"Rotation", 3},  {u"LabelHeight", 40}, {u"LabelWidth", 50},  {u"GrayThreshold", 254}};
  for (const auto& [key, value] : values) Set(key, value);
  EXPECT_EQ(Start(), (std::vector<std::string>{"  GrayThreshold : 254", "  LabelWidth : 50",
                                               "  LabelHeight : 40", "  Rotation : 3", "  HorAlignment : 1",
                                               "  VerAlignment : 2", "  OffsetX : 25", "  OffsetY : 100"}));
  EXPECT_EQ(f.job.m_byGrayThreshold, 254);
  const DWORD expected[] = {3, 591, 472, 1, 2, 295, 1181};  // in the order of kLabelSettings
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(f.job.*qxtest::kLabelSettings[i], expected[i]);
}

// No value, a value out of range and a value of another type all leave the default, untraced.
TEST_F(JobSettings, MissingOutOfRangeOrMistypedValuesLeaveTheDefaults) {
  const auto expectDefaults = [&] {
    EXPECT_TRUE(Start().empty());
    EXPECT_EQ(f.job.m_byGrayThreshold, 150);
    for (DWORD CJobProc::*setting : qxtest::kLabelSettings) EXPECT_EQ(f.job.*setting, 0u);
  };
  expectDefaults();
  for (DWORD threshold : {0u, 255u, 1000u}) {
    Set(u"GrayThreshold", threshold);
    Set(u"Rotation", 4);
    Set(u"HorAlignment", 3);
    Set(u"VerAlignment", 0xFFFFFFFF);
    expectDefaults();
  }
  qxhost::SetPrinterValue(f.printer, u"GrayThreshold", Text(u"100"));
  qxhost::SetPrinterValue(f.printer, u"LabelWidth", Value(REG_BINARY, {50, 0, 0, 0}));
  expectDefaults();

  Set(u"GrayThreshold", 1);
  EXPECT_EQ(Start(), std::vector<std::string>{"  GrayThreshold : 1"});
  EXPECT_EQ(f.job.m_byGrayThreshold, 1);
}

TEST_F(JobSettings, MillimetresBecomeDots) {
  const std::pair<DWORD, DWORD> cases[] = {
      {0, 0}, {25, 295}, {40, 472}, {48, 567}, {100, 1181}, {14316557, 169093193}, {14316558, 4}};
  for (const auto& [mm, dots] : cases) {
    Set(u"LabelWidth", mm);
    EXPECT_EQ(Start(), std::vector<std::string>{"  LabelWidth : " + std::to_string(static_cast<int>(mm))});
    EXPECT_EQ(f.job.m_nLabelWidth, dots) << mm << " mm";
  }
}

TEST_F(JobSettings, ShortDwordReadsAsItsOwnBytesAfterALongerValue) {
  Set(u"LabelWidth", 0x12345678);
  qxhost::SetPrinterValue(f.printer, u"LabelHeight", Value(REG_DWORD, {40}));
  Start();
  EXPECT_EQ(f.job.m_nLabelHeight, 472u);
}

TEST_F(JobSettings, ThresholdOutlivesTheDocumentButTheLabelSettingsDoNot) {
  Set(u"GrayThreshold", 100);
  Set(u"Rotation", 2);
  Set(u"LabelWidth", 40);
  Set(u"HorAlignment", 2);
  Start();
  ASSERT_EQ(f.job.m_nRotation, 2u);

  f.job.Reset();  // the next document
  qxhost::ClearPrinterValues(f.printer);
  EXPECT_TRUE(Start().empty());
  EXPECT_EQ(f.job.m_byGrayThreshold, 100);
  EXPECT_EQ(f.job.m_nRotation, 0u);
  EXPECT_EQ(f.job.m_nLabelWidth, 0u);
  EXPECT_EQ(f.job.m_nHorAlignment, 0u);
}

// The label settings table is what the plug-in reads: every name it asks the spooler for, in
// the table's order (a whole job with a gap, so that GapLength is asked too), and nothing else.
TEST_F(JobSettings, ThePluginReadsExactlyTheLabelSettingsTableInItsOrder) {
  Set(u"GapType", 1);
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.Line({0xFF}));
  ASSERT_TRUE(f.EndPage());
  std::vector<std::u16string> table;
  for (const qxlabel::Setting& s : qxlabel::LabelSettings()) table.emplace_back(s.key);
  EXPECT_EQ(qxhost::PrinterValueNamesAsked(f.printer), table);
}

}  // namespace
