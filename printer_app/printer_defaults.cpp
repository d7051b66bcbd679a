#include "printer_app/printer_defaults.h"

#include <memory>

namespace qxapp {

std::string VendorDefault(ipp_t* driverAttrs, std::string_view name) {
  std::string text;
  if (ipp_attribute_t* attr =
          ippFindAttribute(driverAttrs, (std::string(name) + "-default").c_str(), IPP_TAG_ZERO)) {
    char value[256];
    ippAttributeString(attr, value, sizeof value);
    text = value;
  }
  return text;
}

JobChoices DefaultChoices(pappl_printer_t* printer) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  JobChoices choices;
  choices.darknessConfigured = data.darkness_configured;
  choices.printDarkness = data.darkness_default;
  choices.printSpeed = data.speed_default;
  choices.tracking = static_cast<int>(data.media_default.tracking);
  choices.mediaWidth = data.media_default.size_width;
  choices.mediaLength = data.media_default.size_length;
  std::unique_ptr<ipp_t, decltype(&ippDelete)> attrs(papplPrinterGetDriverAttributes(printer), ippDelete);
  for (const SettingMapping& mapping : kSettingMap) {
    if (!IsVendor(mapping.source))
      continue;
    std::string value = VendorDefault(attrs.get(), mapping.ipp);
    if (!value.empty()) choices.vendor.emplace_back(std::string(mapping.ipp), std::move(value));
  }
  return choices;
}

namespace {

bool RaiseMargins(pappl_media_col_t& media, const pappl_pr_driver_data_t& data) {
  if (data.borderless || (media.left_margin >= data.left_right && media.right_margin >= data.left_right &&
                          media.top_margin >= data.bottom_top && media.bottom_margin >= data.bottom_top))
    return false;
  media.left_margin = media.right_margin = data.left_right;
  media.top_margin = media.bottom_margin = data.bottom_top;
  return true;
}

}  // namespace

void FitSavedDefaults(pappl_printer_t* printer) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  if (RaiseMargins(data.media_default, data)) papplPrinterSetDriverDefaults(printer, &data, 0, nullptr);

  bool readyChanged = false;
  for (int i = 0; i < data.num_source; ++i)
    readyChanged = RaiseMargins(data.media_ready[i], data) || readyChanged;
  if (readyChanged) papplPrinterSetReadyMedia(printer, data.num_source, data.media_ready);
}

}  // namespace qxapp
