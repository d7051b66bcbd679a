#include "settings/label_settings.h"

#include <algorithm>

namespace qxlabel {
namespace {

char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

}  // namespace

std::span<const Setting> LabelSettings() { return kLabelSettings; }

const Setting* FindLabelSetting(std::u16string_view name) {
  for (const Setting& s : kLabelSettings)
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
