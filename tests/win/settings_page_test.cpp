// What the label settings page stores when Apply is pressed: every row checked against the
// shared table, all together, so that one bad row stores nothing.
#include <gtest/gtest.h>

#include <map>

#include "settings/label_settings.h"
#include "uiplugin/page_values.h"

namespace {

// The page's rows in table order, empty but for those given.
std::vector<std::u16string> Rows(const std::map<std::string, std::u16string>& given) {
  std::vector<std::u16string> rows;
  for (const qxlabel::Setting& s : qxlabel::LabelSettings()) {
    auto it = given.find(std::string(s.name));
    rows.push_back(it == given.end() ? u"" : it->second);
  }
  return rows;
}

size_t IndexOf(std::string_view name) {
  const auto settings = qxlabel::LabelSettings();
  for (size_t i = 0; i < settings.size(); ++i)
    if (settings[i].name == name) return i;
  return settings.size();
}

TEST(SettingsPage, SoundRowsGiveTheirValuesAndEmptyRowsNone) {
  const qxui::PageCheck check = qxui::CheckPage(Rows({{"GrayThreshold", u" 254 "},
                                                      {"GapLength", u"16383"},
                                                      {"OffsetX", u"4294967"},
                                                      {"PrintDarkness", u"0"}}));
  ASSERT_EQ(check.error, "");
  ASSERT_EQ(check.values.size(), qxlabel::LabelSettings().size());
  EXPECT_EQ(check.values[IndexOf("GrayThreshold")], 254u);
  EXPECT_EQ(check.values[IndexOf("GapLength")], 0x3FFFu);
  EXPECT_EQ(check.values[IndexOf("PrintDarkness")], 0u) << "0 is a value, not an empty row";
  EXPECT_FALSE(check.values[IndexOf("Rotation")].has_value());
}

// One row the plug-in would not take refuses the whole page, naming that row once.
TEST(SettingsPage, OneBadRowStoresNothing) {
  struct Case {
    std::map<std::string, std::u16string> rows;
    std::string error;
  };
  for (const Case& c : std::vector<Case>{
           {{{"PrintSpeed", u"2"}, {"GrayThreshold", u"0"}}, "Gray threshold: 0 is out of range (1 to 254)"},
           {{{"PrintSpeed", u"5"}}, "Speed: 5 is out of range (0 to 4)"},
           {{{"GapType", u"4"}}, "Gap type: 4 is out of range (0 to 3)"},
           {{{"OffsetY", u"-1"}}, "Offset Y: not a whole number from 0 to 4294967295"},
           {{{"OffsetY", u"4294967296"}}, "Offset Y: not a whole number from 0 to 4294967295"},
           {{{"LabelWidth", u"14316558"}}, "Label width: 14316558 mm is too large"},
           {{{"LabelWidth", u"49"}}, "LabelWidth 49 mm is 579 dots, wider than the 576-dot head"},
           {{{"Rotation", u"3"}, {"LabelWidth", u"76"}, {"LabelHeight", u"50"}},
            "LabelHeight 50 mm is 591 dots"},
       }) {
    const qxui::PageCheck check = qxui::CheckPage(Rows(c.rows));
    EXPECT_EQ(check.error.rfind(c.error, 0), 0u) << check.error;
    EXPECT_TRUE(check.values.empty()) << c.error;
  }
  EXPECT_EQ(qxui::CheckPage(Rows({{"Rotation", u"1"}, {"LabelWidth", u"76"}, {"LabelHeight", u"48"}})).error,
            "")
      << "turned a quarter, the height lies across the head";
}

TEST(SettingsPage, APageOfAnotherShapeIsRefused) {
  EXPECT_NE(qxui::CheckPage(std::vector<std::u16string>(3)).error, "");
}

}  // namespace
