#include "printer_app/options/setting_map.h"

#include <pappl/pappl.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace qxapp {
namespace {

// Every value the app hands the plug-in (all but its own keywords) is a label setting, and every keyword
// stands for a value the plug-in takes.
constexpr bool MapsOntoTheLabelSettings() {
  for (const SettingMapping& mapping : kSettingMap) {
    if (mapping.source == SettingSource::AppKeyword) continue;
    bool known = false;
    for (const qxlabel::Setting& s : qxlabel::kLabelSettings) {
      if (s.key != mapping.key) continue;
      known = true;
      for (const KeywordValue& keyword : mapping.keywords)
        if (!qxlabel::InRange(s, keyword.value)) return false;
    }
    if (!known) return false;
  }
  return true;
}
static_assert(MapsOntoTheLabelSettings());

qxhost::PrinterValue Dword(uint32_t value) {
  qxhost::PrinterValue out;
  out.type = REG_DWORD;
  out.data.resize(4);
  std::memcpy(out.data.data(), &value, 4);
  return out;
}

const std::string* VendorText(const JobChoices& choices, std::string_view name) {
  for (const auto& [key, text] : choices.vendor)
    if (key == name) return &text;
  return nullptr;
}

uint32_t VendorInteger(const SettingMapping& mapping, const JobChoices& choices) {
  const std::string* text = VendorText(choices, mapping.ipp);
  int value = 0;
  if (text) {
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error == std::errc() && end == text->data() + text->size() && value >= mapping.min &&
        value <= mapping.max)
      return static_cast<uint32_t>(value);
  }
  return static_cast<uint32_t>(mapping.defaultValue);
}

uint32_t VendorKeyword(const SettingMapping& mapping, const JobChoices& choices) {
  if (const std::string* text = VendorText(choices, mapping.ipp)) {
    for (const KeywordValue& choice : mapping.keywords)
      if (choice.keyword == *text) return choice.value;
  }
  return mapping.keywords.front().value;
}

uint32_t DarknessLevel(const JobChoices& choices) {
  const int darkness = std::clamp(choices.darknessConfigured + choices.printDarkness, 0, 100);
  return static_cast<uint32_t>((darkness * (kDarknessLevels - 1) + 50) / 100);
}

uint32_t SpeedLevel(const JobChoices& choices) {
  const int speed = choices.printSpeed > 0 ? choices.printSpeed : kDefaultPrintSpeed;
  const int inches = (speed + kSpeedStep / 2) / kSpeedStep;
  return static_cast<uint32_t>(std::clamp(inches - 1, 0, kFastestSpeedLevel));
}

uint32_t GapType(const JobChoices& choices) {
  switch (choices.tracking) {
    case PAPPL_MEDIA_TRACKING_CONTINUOUS:
      return 0;
    case PAPPL_MEDIA_TRACKING_MARK:
      return 2;
    default:
      return 1;
  }
}

uint32_t WholeMillimetres(int hundredths) {
  return static_cast<uint32_t>(std::max(0, (hundredths + 50) / 100));
}

}  // namespace

PrinterData ResolvePrinterData(const JobChoices& choices) {
  PrinterData data;
  for (const SettingMapping& mapping : kSettingMap) {
    if (mapping.source == SettingSource::AppKeyword) continue;
    uint32_t value = 0;
    switch (mapping.source) {
      case SettingSource::PrintDarkness:
        value = DarknessLevel(choices);
        break;
      case SettingSource::PrintSpeed:
        value = SpeedLevel(choices);
        break;
      case SettingSource::MediaTracking:
        value = GapType(choices);
        break;
      case SettingSource::MediaWidth:
        value = WholeMillimetres(choices.mediaWidth);
        break;
      case SettingSource::MediaLength:
        value = WholeMillimetres(choices.mediaLength);
        break;
      case SettingSource::VendorInteger:
        value = VendorInteger(mapping, choices);
        break;
      case SettingSource::VendorKeyword:
      case SettingSource::AppKeyword:
        value = VendorKeyword(mapping, choices);
        break;
    }
    data.emplace_back(std::u16string(mapping.key), Dword(value));
  }
  return data;
}

uint32_t AppKeywordValue(const JobChoices& choices, std::string_view ipp) {
  for (const SettingMapping& mapping : kSettingMap)
    if (mapping.source == SettingSource::AppKeyword && mapping.ipp == ipp)
      return VendorKeyword(mapping, choices);
  return 0;
}

std::string_view KeywordFor(const SettingMapping& mapping, uint32_t value) {
  for (const KeywordValue& choice : mapping.keywords)
    if (choice.value == value) return choice.keyword;
  return mapping.keywords.front().keyword;
}

}  // namespace qxapp
