// The label settings the rendering plug-in reads from a printer's data: names, ranges, units,
// what the plug-in does without them, meanings and the named values of each. The one table
// that the plug-in's job settings and page header, qxvnconf, the printer's settings page (the
// user interface plug-in) and the printer application's IPP mapping all read.
//
// Every value is a REG_DWORD, a 32-bit unsigned number; one outside [min, max] is ignored as if
// absent. The table is constant data: the plug-in reads it at compile time and links nothing.
#pragma once

#include <cstddef>
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
  std::u16string_view key;   // the same name as the plug-in asks the spooler for it, null-terminated
  std::string_view caption;  // how the settings page labels it
  uint32_t min;
  uint32_t max;
  Unit unit;
  bool readEveryPage;  // read at each page end (page header), else once at job start
  // What the plug-in uses while the value is absent or ignored; none: its page-header package is
  // left out and the printer keeps its own.
  std::optional<uint32_t> whenAbsent;
  std::string_view meaning;
  std::span<const Choice> choices;  // every value named, or none
};

inline constexpr uint32_t kAnyValue = 0xFFFFFFFF;
inline constexpr uint32_t kHeadDots = 576;
// Sizes in millimetres above this wrap when the plug-in turns them into dots (v x 300 in 32
// bits), giving a size that has nothing to do with the one stored.
inline constexpr uint32_t kLargestMillimetres = 14316557;

inline constexpr Choice kTurns[] = {
    {0, "upright"}, {1, "a quarter turn clockwise"}, {2, "a half turn"}, {3, "a quarter turn anticlockwise"}};
inline constexpr Choice kAcross[] = {{0, "left"}, {1, "centred"}, {2, "right"}};
inline constexpr Choice kDown[] = {{0, "top"}, {1, "centred"}, {2, "bottom"}};
inline constexpr Choice kGapTypes[] = {{0, "continuous media, no gap"},
                                       {1, "gap between labels"},
                                       {2, "black mark"},
                                       {3, "the printer's third kind, sent as 3"}};

// Every value the plug-in reads, in the order it reads them: the job's at its start, then the
// page header's at each page end (GapLength only after a GapType other than 0).
inline constexpr Setting kLabelSettings[] = {
    {"GrayThreshold",
     u"GrayThreshold",
     "Gray threshold",
     1,
     254,
     Unit::Level,
     false,
     150,
     "a pixel prints a dot when its luminance (0 to 255) is at or below this; 150 until first set",
     {}},
    {"LabelWidth",
     u"LabelWidth",
     "Label width",
     0,
     kAnyValue,
     Unit::Millimetres,
     false,
     0,
     "width of the label window cut out of each band; 0 or not smaller than the band: whole band",
     {}},
    {"LabelHeight",
     u"LabelHeight",
     "Label height",
     0,
     kAnyValue,
     Unit::Millimetres,
     false,
     0,
     "height of the label window cut out of each band; 0 or not smaller than the band: whole band",
     {}},
    {"Rotation", u"Rotation", "Rotation", 0, 3, Unit::QuarterTurns, false, 0, "quarter turns of each band",
     kTurns},
    {"HorAlignment", u"HorAlignment", "Horizontal alignment", 0, 2, Unit::Alignment, false, 0,
     "where the label window lies across the band", kAcross},
    {"VerAlignment", u"VerAlignment", "Vertical alignment", 0, 2, Unit::Alignment, false, 0,
     "where the label window lies down the band", kDown},
    {"OffsetX",
     u"OffsetX",
     "Offset X",
     0,
     kAnyValue,
     Unit::Millimetres,
     false,
     0,
     "kept with the job; the image is not shifted by it",
     {}},
    {"OffsetY",
     u"OffsetY",
     "Offset Y",
     0,
     kAnyValue,
     Unit::Millimetres,
     false,
     0,
     "kept with the job; the image is not shifted by it",
     {}},
    {"PrintDarkness",
     u"PrintDarkness",
     "Darkness",
     0,
     14,
     Unit::Level,
     true,
     std::nullopt,
     "print darkness, sent to the printer with each page",
     {}},
    {"PrintSpeed",
     u"PrintSpeed",
     "Speed",
     0,
     4,
     Unit::Level,
     true,
     std::nullopt,
     "print speed, sent to the printer with each page",
     {}},
    {"GapType", u"GapType", "Gap type", 0, 3, Unit::Level, true, std::nullopt,
     "kind of gap between labels, sent with each page", kGapTypes},
    {"GapLength",
     u"GapLength",
     "Gap length",
     0,
     0x3FFF,
     Unit::Dots,
     true,
     std::nullopt,
     "length of the gap between labels, sent with each page when GapType is 1 to 3",
     {}},
};

// The setting of that name, at compile time: a name not in the table does not compile.
consteval const Setting& Named(std::string_view name) {
  for (const Setting& s : kLabelSettings)
    if (s.name == name) return s;
  throw "not a label setting";
}

// Whether the plug-in takes `value` for `setting`.
constexpr bool InRange(const Setting& setting, uint32_t value) {
  return value >= setting.min && value <= setting.max;
}

namespace detail {
constexpr bool KeysSpellNames() {
  for (const Setting& s : kLabelSettings) {
    if (s.key.size() != s.name.size() || s.key.data()[s.key.size()] != u'\0') return false;
    for (size_t i = 0; i < s.name.size(); ++i)
      if (s.key[i] != static_cast<char16_t>(s.name[i])) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::KeysSpellNames(), "each key is its name, null-terminated");

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
