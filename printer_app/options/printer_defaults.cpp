#include "printer_app/options/printer_defaults.h"

#include <cstdio>
#include <cstring>
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
    if (!IsVendor(mapping.source)) continue;
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

namespace qxapp {
namespace {

bool SameMedia(const pappl_media_col_t& a, const pappl_media_col_t& b) {
  return std::strcmp(a.size_name, b.size_name) == 0 && a.size_width == b.size_width &&
         a.size_length == b.size_length && a.left_margin == b.left_margin &&
         a.right_margin == b.right_margin && a.top_margin == b.top_margin &&
         a.bottom_margin == b.bottom_margin && a.tracking == b.tracking && std::strcmp(a.type, b.type) == 0;
}

}  // namespace

void FollowLoadedLabel(pappl_printer_t* printer) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  const pappl_media_col_t& loaded = data.media_ready[0];
  if (data.num_source < 1 || !loaded.size_name[0] || loaded.size_width <= 0 || loaded.size_length <= 0 ||
      SameMedia(loaded, data.media_default))
    return;
  data.media_default = loaded;
  if (!data.media_default.source[0])
    std::snprintf(data.media_default.source, sizeof data.media_default.source, "%s", data.source[0]);
  papplPrinterSetDriverDefaults(printer, &data, 0, nullptr);
}

void LoadDefaultLabel(pappl_printer_t* printer) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  const pappl_media_col_t& chosen = data.media_default;
  if (data.num_source < 1 || !chosen.size_name[0] || chosen.size_width <= 0 || chosen.size_length <= 0 ||
      SameMedia(chosen, data.media_ready[0]))
    return;
  data.media_ready[0] = chosen;
  std::snprintf(data.media_ready[0].source, sizeof data.media_ready[0].source, "%s", data.source[0]);
  papplPrinterSetReadyMedia(printer, data.num_source, data.media_ready);
}

}  // namespace qxapp
