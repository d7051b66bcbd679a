// The label settings the rendering plug-in reads from a printer's data: names, ranges, units,
// meanings and the named values of each. The one table that qxvnconf and the printer's
// settings page (the user interface plug-in) both show and check against.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qxlabel {

enum class Unit { Level, Millimetres, Dots, QuarterTurns, Alignment };

// One value with a name of its own ("1: gap between labels").
struct Choice {
  uint32_t value;
  std::string_view meaning;
};

struct Setting {
  std::string_view name;     // the printer-data value's name
  std::string_view caption;  // how the settings page labels it
  uint32_t min;
  uint32_t max;
  Unit unit;
  bool readEveryPage;  // read at each page end (page header), else once at job start
  std::string_view meaning;
  std::span<const Choice> choices;  // every value named, or none
};

inline constexpr uint32_t kAnyValue = 0xFFFFFFFF;
inline constexpr uint32_t kHeadDots = 576;
// Sizes in millimetres above this wrap when the plug-in turns them into dots (v x 300 in 32
// bits), giving a size that has nothing to do with the one stored.
inline constexpr uint32_t kLargestMillimetres = 14316557;

// Every value the plug-in reads, in the order it reads them.
std::span<const Setting> LabelSettings();
// The setting of that name (letter case aside, as the registry compares names), or null.
const Setting* FindLabelSetting(std::u16string_view name);

const char* UnitText(Unit unit);
// "1 to 254", or "any".
std::string RangeText(const Setting& setting);
// The meaning of a named value, or empty.
std::string_view ChoiceMeaning(const Setting& setting, uint32_t value);
// "0 continuous, 1 gap between labels, ..." or empty.
std::string ChoicesText(const Setting& setting);

// As the plug-in turns millimetres into dots: the product in 32 bits, then rounded.
uint32_t DotsOf(uint32_t millimetres);

// Why the plug-in would not use `value` for `setting` (out of range, a size that wraps), or
// nothing. The text does not name the setting: the caller does, once.
std::optional<std::string> ValueRefusal(const Setting& setting, uint32_t value);

// The label window's side that lies across the head once turned (the width upright or half
// turned, the height quarter turned) must fit the head's 576 dots, or every line is cut.
// Sizes 0 mean no crop. Returns what is wrong, naming the setting, or nothing.
std::optional<std::string> AcrossHeadRefusal(uint32_t widthMm, uint32_t heightMm, uint32_t rotation);

}  // namespace qxlabel
