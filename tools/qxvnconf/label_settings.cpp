#include "tools/qxvnconf/label_settings.h"

#include <algorithm>
#include <array>

namespace qxlabel {
namespace {

constexpr Choice kTurns[] = {
    {0, "upright"}, {1, "a quarter turn clockwise"}, {2, "a half turn"}, {3, "a quarter turn anticlockwise"}};
constexpr Choice kAcross[] = {{0, "left"}, {1, "centred"}, {2, "right"}};
constexpr Choice kDown[] = {{0, "top"}, {1, "centred"}, {2, "bottom"}};
constexpr Choice kGapTypes[] = {{0, "continuous media, no gap"},
                                {1, "gap between labels"},
                                {2, "black mark"},
                                {3, "the printer's third kind, sent as 3"}};

constexpr std::array<Setting, 12> kSettings{{
    {"GrayThreshold",
     "Gray threshold",
     1,
     254,
     Unit::Level,
     false,
     "a pixel prints a dot when its luminance (0 to 255) is at or below this; 150 until first set",
     {}},
    {"LabelWidth",
     "Label width",
     0,
     kAnyValue,
     Unit::Millimetres,
     false,
     "width of the label window cut out of each band; 0 or not smaller than the band: whole band",
     {}},
    {"LabelHeight",
     "Label height",
     0,
     kAnyValue,
     Unit::Millimetres,
     false,
     "height of the label window cut out of each band; 0 or not smaller than the band: whole band",
     {}},
    {"Rotation", "Rotation", 0, 3, Unit::QuarterTurns, false, "quarter turns of each band", kTurns},
    {"HorAlignment", "Horizontal alignment", 0, 2, Unit::Alignment, false,
     "where the label window lies across the band", kAcross},
    {"VerAlignment", "Vertical alignment", 0, 2, Unit::Alignment, false,
     "where the label window lies down the band", kDown},
    {"OffsetX",
     "Offset X",
     0,
     kAnyValue,
     Unit::Millimetres,
     false,
     "kept with the job; the image is not shifted by it",
     {}},
    {"OffsetY",
     "Offset Y",
     0,
     kAnyValue,
     Unit::Millimetres,
     false,
     "kept with the job; the image is not shifted by it",
     {}},
    {"PrintDarkness",
     "Darkness",
     0,
     14,
     Unit::Level,
     true,
     "print darkness, sent to the printer with each page",
     {}},
    {"PrintSpeed", "Speed", 0, 4, Unit::Level, true, "print speed, sent to the printer with each page", {}},
    {"GapType", "Gap type", 0, 3, Unit::Level, true, "kind of gap between labels, sent with each page",
     kGapTypes},
    {"GapLength",
     "Gap length",
     0,
     0x3FFF,
     Unit::Dots,
     true,
     "length of the gap between labels, sent with each page when GapType is 1 to 3",
     {}},
}};

char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

}  // namespace

std::span<const Setting> LabelSettings() { return kSettings; }

const Setting* FindLabelSetting(std::u16string_view name) {
  for (const Setting& s : kSettings)
    if (s.name.size() == name.size() &&
        std::equal(s.name.begin(), s.name.end(), name.begin(),
                   [](char a, char16_t b) { return Fold(static_cast<char16_t>(a)) == Fold(b); }))
      return &s;
  return nullptr;
}

const char* UnitText(Unit unit) {
  switch (unit) {
    case Unit::Level:
      return "level";
    case Unit::Millimetres:
      return "millimetres";
    case Unit::Dots:
      return "dots";
    case Unit::QuarterTurns:
      return "quarter turns";
    case Unit::Alignment:
      return "position";
  }
  return "";
}

std::string RangeText(const Setting& s) {
  if (s.max == kAnyValue) return "any";
  return std::to_string(s.min) + " to " + std::to_string(s.max);
}

std::string_view ChoiceMeaning(const Setting& s, uint32_t value) {
  for (const Choice& c : s.choices)
    if (c.value == value) return c.meaning;
  return {};
}

std::string ChoicesText(const Setting& s) {
  std::string out;
  for (const Choice& c : s.choices) {
    if (!out.empty()) out += ", ";
    out += std::to_string(c.value) + " " + std::string(c.meaning);
  }
  return out;
}

uint32_t DotsOf(uint32_t mm) { return static_cast<uint32_t>(static_cast<uint32_t>(mm * 300u) / 25.4 + 0.5); }

std::optional<std::string> ValueRefusal(const Setting& s, uint32_t v) {
  if (v < s.min || v > s.max) return std::to_string(v) + " is out of range (" + RangeText(s) + ")";
  if (s.unit == Unit::Millimetres && v > kLargestMillimetres)
    return std::to_string(v) + " mm is too large: the plug-in would make it " + std::to_string(DotsOf(v)) +
           " dots (at most " + std::to_string(kLargestMillimetres) + ")";
  return std::nullopt;
}

std::optional<std::string> AcrossHeadRefusal(uint32_t widthMm, uint32_t heightMm, uint32_t rotation) {
  const bool quarter = rotation == 1 || rotation == 3;
  const uint32_t across = quarter ? heightMm : widthMm;
  if (across > kLargestMillimetres || DotsOf(across) <= kHeadDots) return std::nullopt;
  return std::string(quarter ? "LabelHeight " : "LabelWidth ") + std::to_string(across) + " mm is " +
         std::to_string(DotsOf(across)) + " dots, wider than the " + std::to_string(kHeadDots) + "-dot head" +
         (quarter ? " once turned a quarter" : "") + " (at most 48 mm)";
}

}  // namespace qxlabel
