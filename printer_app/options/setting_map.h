// The one table between the printer's IPP attributes and the printer-data values the plug-in
// reads, and the resolution of a job's options into those values. The README repeats the table.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/services/host_services.h"
#include "settings/label_settings.h"

namespace qxapp {

struct KeywordValue {
  std::string_view keyword;
  uint32_t value;
};

// Where a printer-data value comes from.
enum class SettingSource {
  PrintDarkness,  // printer-darkness-configured + print-darkness (-100..100), in 15 levels
  PrintSpeed,     // print-speed in hundredths of mm/s: 1 to 5 inches per second
  MediaTracking,  // media-col.media-tracking
  MediaWidth,     // media-col.media-size.x-dimension, whole millimetres
  MediaLength,    // media-col.media-size.y-dimension, whole millimetres
  VendorInteger,  // a vendor attribute of this printer, an integer range
  VendorKeyword,  // a vendor attribute of this printer, keywords
  AppKeyword,     // a vendor attribute, keywords, that the app reads and the plug-in is not given
};

// A vendor attribute of this printer: the job may send it, the printer has xxx-default.
constexpr bool IsVendor(SettingSource source) {
  return source == SettingSource::VendorInteger || source == SettingSource::VendorKeyword ||
         source == SettingSource::AppKeyword;
}

struct SettingMapping {
  std::u16string_view key;  // the printer-data value
  std::string_view ipp;     // the IPP attribute (a job may send it; xxx-default is the printer's)
  SettingSource source;
  int min = 0;  // vendor integers: accepted range (the label settings table's) and default
  int max = 0;
  int defaultValue = 0;
  std::span<const KeywordValue> keywords = {};  // vendor keywords; the first is the default
};

inline constexpr std::array<KeywordValue, 3> kTrackingValues{{
    {"continuous", 0},
    {"gap", 1},
    {"mark", 2},
}};
inline constexpr std::array<KeywordValue, 4> kRotationValues{{
    {"upright", 0},
    {"clockwise", 1},
    {"upside-down", 2},
    {"anticlockwise", 3},
}};
inline constexpr std::array<KeywordValue, 3> kAlignmentValues{{
    {"start", 0},
    {"center", 1},
    {"end", 2},
}};

// The app's own settings, not the plug-in's: each page's bar codes checked in the printed stream
// (a failing one named in the job's message, or the job held before the device), and redrawn to
// whole dots before the plug-in (common/barcode/).
inline constexpr uint32_t kBarcodeCheckOff = 0, kBarcodeCheckWarn = 1, kBarcodeCheckHold = 2;
inline constexpr std::array<KeywordValue, 3> kBarcodeCheckValues{{
    {"warn", kBarcodeCheckWarn},
    {"off", kBarcodeCheckOff},
    {"hold", kBarcodeCheckHold},
}};
inline constexpr std::array<KeywordValue, 3> kBarcodeRepairValues{{
    {"auto", 1},
    {"always", 2},
    {"off", 0},
}};

inline constexpr const qxlabel::Setting& kThresholdSetting = qxlabel::Named("GrayThreshold");
inline constexpr const qxlabel::Setting& kGapLengthSetting = qxlabel::Named("GapLength");
inline constexpr int kDefaultGrayThreshold = static_cast<int>(*kThresholdSetting.whenAbsent);
inline constexpr int kSpeedStep = 2540;  // one inch per second in print-speed units
inline constexpr int kDarknessLevels = static_cast<int>(qxlabel::Named("PrintDarkness").max) + 1;
inline constexpr int kFastestSpeedLevel = static_cast<int>(qxlabel::Named("PrintSpeed").max);
// The app's default gap, in dots (the plug-in sends none without a value).
inline constexpr int kDefaultGapLength = 24;
// What "Auto" (print-speed 0, as the web interface sends it) and a job without a speed print at.
inline constexpr int kDefaultPrintSpeed = 3 * kSpeedStep;

inline constexpr std::array<SettingMapping, 12> kSettingMap{{
    {u"PrintDarkness", "print-darkness", SettingSource::PrintDarkness},
    {u"PrintSpeed", "print-speed", SettingSource::PrintSpeed},
    {u"GapType", "media-tracking", SettingSource::MediaTracking, 0, 0, 0, kTrackingValues},
    {u"GapLength", "label-gap-length", SettingSource::VendorInteger, static_cast<int>(kGapLengthSetting.min),
     static_cast<int>(kGapLengthSetting.max), kDefaultGapLength},
    {u"LabelWidth", "media-size", SettingSource::MediaWidth},
    {u"LabelHeight", "media-size", SettingSource::MediaLength},
    {u"GrayThreshold", "gray-threshold", SettingSource::VendorInteger,
     static_cast<int>(kThresholdSetting.min), static_cast<int>(kThresholdSetting.max), kDefaultGrayThreshold},
    {u"Rotation", "label-rotation", SettingSource::VendorKeyword, 0, 0, 0, kRotationValues},
    {u"HorAlignment", "label-horizontal-alignment", SettingSource::VendorKeyword, 0, 0, 0, kAlignmentValues},
    {u"VerAlignment", "label-vertical-alignment", SettingSource::VendorKeyword, 0, 0, 0, kAlignmentValues},
    {u"BarcodeCheck", "barcode-check", SettingSource::AppKeyword, 0, 0, 0, kBarcodeCheckValues},
    {u"BarcodeRepair", "barcode-repair", SettingSource::AppKeyword, 0, 0, 0, kBarcodeRepairValues},
}};

// What a job asks for, as PAPPL resolved it (job attributes, else the printer's defaults).
struct JobChoices {
  int darknessConfigured = 50;  // printer-darkness-configured, 0..100
  int printDarkness = 0;        // print-darkness, -100..100
  int printSpeed = 0;           // print-speed; 0 when none or "Auto": the default speed
  int tracking = 0;             // a pappl_media_tracking_t bit; 0 when none
  int mediaWidth = 0;           // hundredths of a millimetre
  int mediaLength = 0;
  // Vendor attribute values as text by IPP name ("150", "clockwise"), the job's or the printer's.
  std::vector<std::pair<std::string, std::string>> vendor;
};

using PrinterData = std::vector<std::pair<std::u16string, qxhost::PrinterValue>>;

// Every value of the table for the plug-in, in its order. A vendor value that is missing or out
// of range falls back to the attribute's default.
PrinterData ResolvePrinterData(const JobChoices& choices);

// The value of an app keyword (`barcode-check`...) the job chose, else its default.
uint32_t AppKeywordValue(const JobChoices& choices, std::string_view ipp);

// The keyword for `value` of a keyword mapping, or the first keyword.
std::string_view KeywordFor(const SettingMapping& mapping, uint32_t value);

}  // namespace qxapp
