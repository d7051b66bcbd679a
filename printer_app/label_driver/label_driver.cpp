#include "printer_app/label_driver/label_driver.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/media/label_sizes.h"
#include "printer_app/access/job_privacy.h"
#include "printer_app/devices/device_delivery.h"
#include "printer_app/devices/usb_autoadd.h"
#include "printer_app/label_driver/barcode_hold.h"
#include "printer_app/label_driver/label_job.h"
#include "printer_app/label_driver/settings_label.h"
#include "printer_app/options/setting_map.h"
#include "printer_app/web/web_text.h"
#include "printer_app/web/web_upload.h"

namespace qxapp {
namespace {

constexpr const char* kSource = "main-roll";
constexpr const char* kMediaType = "labels";
constexpr int kMarginHundredthsMm = 100;

// PWG names of the listed sizes and of the custom range, made once: PAPPL keeps the pointers.
const std::array<std::string, qxvn::kLabelSizes.size() + 2>& MediaNames() {
  static const auto names = [] {
    std::array<std::string, qxvn::kLabelSizes.size() + 2> out;
    char name[128];
    for (size_t i = 0; i < qxvn::kLabelSizes.size(); ++i) {
      const qxvn::LabelSize& size = qxvn::kLabelSizes[i];
      pwgFormatSizeName(name, sizeof name, "om", std::string(size.name).c_str(), size.widthMm * 100,
                        size.heightMm * 100, nullptr);
      out[i] = name;
    }
    pwgFormatSizeName(name, sizeof name, "custom", "min", qxvn::kCustomMinMm * 100, qxvn::kCustomMinMm * 100,
                      nullptr);
    out[qxvn::kLabelSizes.size()] = name;
    pwgFormatSizeName(name, sizeof name, "custom", "max", static_cast<int>(qxvn::kHeadWidthMm * 100),
                      qxvn::kCustomMaxLengthMm * 100, nullptr);
    out[qxvn::kLabelSizes.size() + 1] = name;
    return out;
  }();
  return names;
}

void AddVendorAttributes(pappl_pr_driver_data_t* data, ipp_t* attrs) {
  for (const SettingMapping& mapping : kSettingMap) {
    if (!IsVendor(mapping.source)) continue;
    const std::string name(mapping.ipp);
    data->vendor[data->num_vendor++] = mapping.ipp.data();  // the table's names end in NUL
    if (mapping.source == SettingSource::VendorInteger) {
      ippAddRange(attrs, IPP_TAG_PRINTER, (name + "-supported").c_str(), mapping.min, mapping.max);
      ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, (name + "-default").c_str(),
                    mapping.defaultValue);
    } else {
      std::array<const char*, 8> keywords{};
      size_t count = 0;
      for (const KeywordValue& choice : mapping.keywords) keywords[count++] = choice.keyword.data();
      ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (name + "-supported").c_str(),
                    static_cast<int>(count), nullptr, keywords.data());
      ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (name + "-default").c_str(), nullptr,
                   keywords[0]);
    }
  }
}

// The printer has no display or sound: identifying it is a line in its log.
void Identify(pappl_printer_t* printer, pappl_identify_actions_t, const char* message) {
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s", message ? message : "");
}

// The label roll, the one supply of a direct thermal printer; its level is not known (-2, as
// the Printer MIB has it). The web interface says so on its own supplies page.
void SetUpPrinter(pappl_printer_t* printer, void*) {
  AddSuppliesPage(printer);
  AddUploadPage(printer);
  pappl_supply_t roll{};
  roll.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
  std::snprintf(roll.description, sizeof roll.description, "Label Roll");
  roll.is_consumed = true;
  roll.level = -2;
  roll.type = PAPPL_SUPPLY_TYPE_OTHER;
  papplPrinterSetSupplies(printer, 1, &roll);
}

// Attributes IPP Everywhere clients expect that PAPPL does not add itself.
void AddEverywhereAttributes(ipp_t* attrs) {
  ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  static const char* const overrides[] = {"document-number", "pages"};
  ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr, overrides);
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
}

}  // namespace

bool LabelDriver(pappl_system_t*, const char* driverName, const char*, const char*,
                 pappl_pr_driver_data_t* data, ipp_t** attrs, void*) {
  if (std::strcmp(driverName, kDriverName) != 0) return false;

  data->printfile_cb = PrintRawFile;
  data->rstartjob_cb = StartLabelJob;
  data->rstartpage_cb = StartLabelPage;
  data->rwriteline_cb = WriteLabelLine;
  data->rendpage_cb = EndLabelPage;
  data->rendjob_cb = EndLabelJob;
  data->delete_cb = StopBarcodeChecksFor;
  data->format = kPrinterFormat;
  std::snprintf(data->make_and_model, sizeof data->make_and_model, "QXVN 300 dpi Label Printer");
  data->ppm = 20;
  data->kind = PAPPL_KIND_LABEL;

  // 8-bit lines only: the plug-in's threshold decides every dot, PAPPL never dithers. Colour
  // stays announced (PAPPL refuses colour raster pages of a printer without it, and clients
  // send them); the web interface hides the choice, which prints the same as the others.
  data->color_supported = static_cast<pappl_color_mode_t>(PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR |
                                                          PAPPL_COLOR_MODE_MONOCHROME);
  data->color_default = PAPPL_COLOR_MODE_AUTO;
  data->raster_types =
      static_cast<pappl_raster_type_t>(PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_SRGB_8);
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
  data->content_default = PAPPL_CONTENT_AUTO;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->scaling_default = PAPPL_SCALING_AUTO;
  data->duplex = PAPPL_DUPLEX_NONE;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  // Portrait, as IPP Everywhere asks of a default; a job that asks for no orientation is then
  // turned only when it fits the label turned and not upright (page_file_filter.cpp).
  data->orient_default = IPP_ORIENT_PORTRAIT;
  data->identify_cb = Identify;
  data->testpage_cb = WriteTestLabel;
  data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->has_supplies = true;
  data->num_resolution = 1;
  data->x_resolution[0] = qxvn::kDotsPerInch;
  data->y_resolution[0] = qxvn::kDotsPerInch;
  data->x_default = data->y_default = qxvn::kDotsPerInch;
  // A margin of 1 mm on every side, though the head prints to the label's edges: with none,
  // clients take every size for a borderless one (CUPS names them NNxNNmm.Borderless, its
  // default size then matches none of them and documents are laid out on Letter). A PDF page
  // of the label's size still prints whole; text and layouts keep clear of the label's cut.
  data->borderless = false;
  data->left_right = kMarginHundredthsMm;
  data->bottom_top = kMarginHundredthsMm;

  const auto& names = MediaNames();
  data->num_media = static_cast<int>(names.size());
  for (size_t i = 0; i < names.size(); ++i) data->media[i] = names[i].c_str();
  data->num_source = 1;
  data->source[0] = kSource;
  data->num_type = 1;
  data->type[0] = kMediaType;
  data->tracking_supported = static_cast<pappl_media_tracking_t>(
      PAPPL_MEDIA_TRACKING_CONTINUOUS | PAPPL_MEDIA_TRACKING_GAP | PAPPL_MEDIA_TRACKING_MARK);

  pappl_media_col_t& media = data->media_default;
  std::memset(&media, 0, sizeof media);
  std::snprintf(media.size_name, sizeof media.size_name, "%s", names[0].c_str());
  media.size_width = qxvn::kLabelSizes[0].widthMm * 100;
  media.size_length = qxvn::kLabelSizes[0].heightMm * 100;
  std::snprintf(media.source, sizeof media.source, "%s", kSource);
  std::snprintf(media.type, sizeof media.type, "%s", kMediaType);
  media.tracking = PAPPL_MEDIA_TRACKING_GAP;
  media.left_margin = media.right_margin = data->left_right;
  media.bottom_margin = media.top_margin = data->bottom_top;
  data->media_ready[0] = media;

  data->darkness_supported = kDarknessLevels;
  data->darkness_configured = 50;
  data->darkness_default = 0;
  data->speed_supported[0] = kSpeedStep;
  data->speed_supported[1] = 5 * kSpeedStep;
  data->speed_default = kDefaultPrintSpeed;

  if (!*attrs) *attrs = ippNew();
  AddVendorAttributes(data, *attrs);
  AddDeliveryAttributes(data, *attrs);
  AddEverywhereAttributes(*attrs);
  DescribeJobPrivacy(*attrs);
  return true;
}

void RegisterLabelDriver(pappl_system_t* system) {
  static pappl_pr_driver_t drivers[] = {{kDriverName, "QXVN 300 dpi Label Printer", kDeviceId, nullptr}};
  papplSystemSetPrinterDrivers(system, 1, drivers, AutoAddDriver, SetUpPrinter, LabelDriver, nullptr);
}

}  // namespace qxapp
