#include "tools/qxvnconf/settings.h"

#include <gtest/gtest.h>

#include "common/tool_error.h"
#include "tools/qxvnconf/reg_export.h"

namespace qxvnconf {
namespace {

qxvn::RegValue Dword(std::u16string name, uint32_t v) {
  qxvn::RegValue r;
  r.name = std::move(name);
  r.type = 4;
  for (int i = 0; i < 4; ++i) r.data.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return r;
}

qxvn::RegValue Typed(std::u16string name, uint32_t type, std::vector<uint8_t> data) {
  qxvn::RegValue r;
  r.name = std::move(name);
  r.type = type;
  r.data = std::move(data);
  return r;
}

Verdict JudgeOf(std::u16string_view name, const std::vector<qxvn::RegValue>& values) {
  return Judge(*FindSetting(name), values);
}

TEST(QxvnconfSettings, EveryValueThePluginReadsIsKnown) {
  for (const char16_t* name :
       {u"GrayThreshold", u"LabelWidth", u"LabelHeight", u"Rotation", u"HorAlignment", u"VerAlignment",
        u"OffsetX", u"OffsetY", u"PrintDarkness", u"PrintSpeed", u"GapType", u"GapLength"})
    EXPECT_NE(FindSetting(name), nullptr);
  EXPECT_EQ(Settings().size(), 12u);
  EXPECT_NE(FindSetting(u"graythreshold"), nullptr) << "names compare without letter case";
}

TEST(QxvnconfSettings, VerdictsAtTheEdgesOfEachRange) {
  struct Row {
    const char16_t* name;
    uint32_t value;
    Outcome outcome;
  };
  for (const Row& r :
       {Row{u"GrayThreshold", 0, Outcome::Ignored}, Row{u"GrayThreshold", 1, Outcome::Taken},
        Row{u"GrayThreshold", 254, Outcome::Taken}, Row{u"GrayThreshold", 255, Outcome::Ignored},
        Row{u"Rotation", 3, Outcome::Taken}, Row{u"Rotation", 4, Outcome::Ignored},
        Row{u"HorAlignment", 3, Outcome::Ignored}, Row{u"PrintDarkness", 14, Outcome::Taken},
        Row{u"PrintDarkness", 15, Outcome::Ignored}, Row{u"PrintSpeed", 5, Outcome::Ignored},
        Row{u"GapType", 4, Outcome::Ignored}, Row{u"LabelWidth", 0, Outcome::Taken}}) {
    EXPECT_EQ(JudgeOf(r.name, {Dword(r.name, r.value)}).outcome, r.outcome) << "value " << r.value;
  }
  EXPECT_EQ(JudgeOf(u"LabelWidth", {Dword(u"LabelWidth", 50)}).text, "taken: 50 mm = 591 dots");
  EXPECT_EQ(JudgeOf(u"Rotation", {}).outcome, Outcome::Absent);
}

TEST(QxvnconfSettings, WrongTypeOrSizeIsIgnoredLikeThePluginDoes) {
  // A number stored as text, a DWORD of 8 bytes and a big-endian DWORD are not REG_DWORD values.
  EXPECT_EQ(JudgeOf(u"GrayThreshold", {Typed(u"GrayThreshold", 1, {'1', 0, '0', 0, 0, 0})}).outcome,
            Outcome::Ignored);
  EXPECT_EQ(JudgeOf(u"Rotation", {Typed(u"Rotation", 4, {1, 0, 0, 0, 0, 0, 0, 0})}).outcome,
            Outcome::Ignored);
  EXPECT_EQ(JudgeOf(u"Rotation", {Typed(u"Rotation", 5, {0, 0, 0, 1})}).outcome, Outcome::Ignored);
  // A short one is read, but with bytes the value itself does not hold.
  EXPECT_EQ(JudgeOf(u"Rotation", {Typed(u"Rotation", 4, {1})}).text.rfind("unreliable", 0), 0u);
  EXPECT_TRUE(Refusal(*FindSetting(u"Rotation"), Typed(u"Rotation", 4, {1})));
}

TEST(QxvnconfSettings, GapLengthCountsOnlyWithAGapType) {
  const auto length = Dword(u"GapLength", 300);
  EXPECT_EQ(JudgeOf(u"GapLength", {length}).outcome, Outcome::Ignored);
  EXPECT_EQ(JudgeOf(u"GapLength", {length, Dword(u"GapType", 0)}).outcome, Outcome::Ignored);
  EXPECT_EQ(JudgeOf(u"GapLength", {length, Dword(u"GapType", 4)}).outcome, Outcome::Ignored);
  EXPECT_EQ(JudgeOf(u"GapLength", {length, Dword(u"GapType", 2)}).outcome, Outcome::Taken);
  EXPECT_EQ(JudgeOf(u"GapLength", {Dword(u"GapLength", 0x4000), Dword(u"GapType", 2)}).outcome,
            Outcome::Ignored);
}

TEST(QxvnconfSettings, SizesThatWrapInDotsAreRefused) {
  // The plug-in multiplies by 300 in 32 bits: one millimetre more than this wraps to a tiny size.
  EXPECT_FALSE(Refusal(*FindSetting(u"LabelWidth"), Dword(u"LabelWidth", kLargestMillimetres)));
  EXPECT_TRUE(Refusal(*FindSetting(u"LabelWidth"), Dword(u"LabelWidth", kLargestMillimetres + 1)));
  EXPECT_NE(JudgeOf(u"LabelWidth", {Dword(u"LabelWidth", kLargestMillimetres + 1)}).text.find("taken, but"),
            std::string::npos);
}

TEST(QxvnconfSettings, AssignmentsParseOrRefuse) {
  EXPECT_EQ(ParseAssignment("Rotation=3").data, Dword(u"Rotation", 3).data);
  EXPECT_EQ(ParseAssignment("GapLength=0x3FFF").data, Dword(u"GapLength", 0x3FFF).data);
  EXPECT_EQ(ParseAssignment("OffsetX=4294967295").data, Dword(u"OffsetX", 0xFFFFFFFF).data);
  for (const char* bad : {"Rotation", "=3", "Rotation=", "Rotation=-1", "Rotation=4294967296", "Rotation=3x",
                          "Rotation=0x", "Rotation=0xFFFFFFFFF"})
    EXPECT_THROW(ParseAssignment(bad), qxvn::UsageError) << bad;
}

TEST(QxvnconfSettings, PlanRefusesWhatThePluginWouldIgnoreUnlessForced) {
  EXPECT_THROW(PlanChanges({Dword(u"GrayThreshold", 0)}, false, ""), qxvn::ToolError);
  EXPECT_THROW(PlanChanges({Dword(u"Rotaton", 1)}, false, ""), qxvn::ToolError) << "a misspelt name";
  auto fromFile = Typed(u"Rotation", 1, {'1', 0, 0, 0});
  fromFile.line = 7;
  try {
    PlanChanges({fromFile}, false, "labels.reg");
    FAIL() << "a text Rotation was accepted";
  } catch (const qxvn::ToolError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("labels.reg:7: Rotation: it is REG_SZ", 0), 0u) << e.what();
  }
  EXPECT_EQ(PlanChanges({Dword(u"GrayThreshold", 0)}, true, "").size(), 1u);
  // A later value of a name replaces an earlier one, so only the last is judged and written.
  auto plan = PlanChanges({Dword(u"Rotation", 9), Dword(u"rotation", 2)}, false, "");
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].data, Dword(u"Rotation", 2).data);
}

std::string PlanError(std::vector<qxvn::RegValue> values, std::vector<qxvn::RegValue> current = {}) {
  try {
    PlanChanges(std::move(values), false, "", current);
  } catch (const qxvn::ToolError& e) {
    return e.what();
  }
  return "";
}

TEST(QxvnconfSettings, MessagesNameTheSettingOnce) {
  EXPECT_EQ(PlanError({Dword(u"PrintDarkness", 15)}).rfind("PrintDarkness: 15 is out of range (0 to 14)", 0),
            0u);
}

// The side of the label that lies across the head once turned must fit its 576 dots (48 mm),
// judged with the printer's own values for what the change leaves alone.
TEST(QxvnconfSettings, LabelsWiderThanTheHeadAreRefused) {
  EXPECT_NE(
      PlanError({Dword(u"LabelWidth", 50)}).find("LabelWidth 50 mm is 591 dots, wider than the 576-dot head"),
      std::string::npos);
  EXPECT_EQ(PlanError({Dword(u"LabelWidth", 48), Dword(u"LabelHeight", 150)}), "");
  EXPECT_NE(PlanError({Dword(u"LabelHeight", 76)}, {Dword(u"Rotation", 3)}).find("LabelHeight 76 mm"),
            std::string::npos)
      << "turned a quarter, the height lies across the head";
  EXPECT_EQ(PlanError({Dword(u"Rotation", 1)}, {Dword(u"LabelWidth", 76), Dword(u"LabelHeight", 40)}), "");
  EXPECT_NE(PlanError({Dword(u"Rotation", 0)}, {Dword(u"LabelWidth", 76)}), "") << "turned back upright";
  EXPECT_EQ(PlanError({Dword(u"LabelWidth", 0)}, {Dword(u"LabelWidth", 76)}), "") << "0 is no crop";
  EXPECT_EQ(PlanChanges({Dword(u"LabelWidth", 50)}, true, "").size(), 1u) << "--force";
}

TEST(QxvnconfSettings, NamedValuesShowTheirMeaning) {
  EXPECT_EQ(JudgeOf(u"GapType", {Dword(u"GapType", 2)}).text, "taken: sent to the printer as 2 (black mark)");
  EXPECT_NE(SettingsHelp().find("0 continuous media, no gap, 1 gap between labels"), std::string::npos);
  EXPECT_EQ(JudgeOf(u"HorAlignment", {Dword(u"HorAlignment", 2)}).text, "taken: right");
}

TEST(QxvnconfExport, ReadsBackThroughTheRegParserToTheSameValues) {
  std::vector<qxvn::RegValue> values{
      Dword(u"GrayThreshold", 100),
      Typed(u"Note \"quoted\" \\ here", 1, {'a', 0, '"', 0, '\\', 0, 0, 0}),
      Typed(u"Lines", 1, {'a', 0, '\n', 0, 'b', 0, 0, 0}),  // a line break: only hex keeps it
      Typed(u"Blob", 3, std::vector<uint8_t>(60, 0xAB)),    // wraps over several lines
      Typed(u"Short", 4, {1, 2}),
      Typed(u"Empty", 3, {}),
      Typed(u"", 7, {'x', 0, 0, 0, 0, 0}),
  };
  const std::vector<uint8_t> bytes = ExportRegFile(u"QXVN LP2", values);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  std::vector<qxvn::RegValue> back = qxvn::ParseRegFile(bytes, "export.reg");
  ASSERT_EQ(back.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(back[i].name, values[i].name) << i;
    EXPECT_EQ(back[i].type, values[i].type) << i;
    EXPECT_EQ(back[i].data, values[i].data) << i;
  }
}

}  // namespace
}  // namespace qxvnconf
