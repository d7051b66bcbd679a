#include "printer_app/options/job_offers.h"

#include <memory>
#include <string>
#include <vector>

namespace qxapp {
namespace {

struct IppFree {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};

// True when the request asks for this attribute or a group that holds it.
bool Requested(ipp_t* request) {
  ipp_attribute_t* asked = ippFindAttribute(request, "requested-attributes", IPP_TAG_KEYWORD);
  return !asked || ippContainsString(asked, "all") || ippContainsString(asked, "printer-description") ||
         ippContainsString(asked, "job-template");
}

void Replace(ipp_t* response, const char* name, std::span<const std::string_view> keywords) {
  ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_ZERO);
  if (!attr) return;
  std::vector<const char*> values;
  for (std::string_view keyword : keywords) values.push_back(keyword.data());
  ippDeleteAttribute(response, attr);
  ippAddStrings(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, name, static_cast<int>(values.size()), nullptr,
                values.data());
}

void Replace(ipp_t* response, const char* name, std::span<const int> enums) {
  ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_ZERO);
  if (!attr) return;
  ippDeleteAttribute(response, attr);
  ippAddIntegers(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, name, static_cast<int>(enums.size()), enums.data());
}

// Values of a keyword attribute but those dropped.
void Drop(ipp_t* response, const char* name, std::span<const std::string_view> dropped) {
  ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_KEYWORD);
  if (!attr) return;
  std::vector<std::string> kept;
  for (int i = 0; i < ippGetCount(attr); ++i) {
    const std::string value = ippGetString(attr, i, nullptr);
    bool drop = false;
    for (std::string_view gone : dropped) drop = drop || value == gone;
    if (!drop) kept.push_back(value);
  }
  std::vector<std::string_view> views(kept.begin(), kept.end());
  Replace(response, name, views);
}

void CopyIfMissing(ipp_t* response, ipp_t* from, const std::string& name) {
  if (ippFindAttribute(response, name.c_str(), IPP_TAG_ZERO)) return;
  if (ipp_attribute_t* attr = ippFindAttribute(from, name.c_str(), IPP_TAG_ZERO)) {
    ipp_attribute_t* copy = ippCopyAttribute(response, attr, 0);
    ippSetGroupTag(response, &copy, IPP_TAG_PRINTER);
  }
}

// The job settings' -supported and -default, from the driver's attributes.
void AddJobSettings(ipp_t* response, pappl_printer_t* printer) {
  std::unique_ptr<ipp_t, IppFree> driver(papplPrinterGetDriverAttributes(printer));
  ipp_attribute_t* creatable =
      ippFindAttribute(driver.get(), "job-creation-attributes-supported", IPP_TAG_KEYWORD);
  if (!creatable)
    creatable = ippFindAttribute(response, "job-creation-attributes-supported", IPP_TAG_KEYWORD);
  for (int i = 0; creatable && i < ippGetCount(creatable); ++i) {
    const std::string name = ippGetString(creatable, i, nullptr);
    CopyIfMissing(response, driver.get(), name + "-supported");
    CopyIfMissing(response, driver.get(), name + "-default");
  }
}

// PAPPL announces neither default, whatever is asked.
void AddMissingDefaults(ipp_t* response, pappl_printer_t* printer) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  if (ippFindAttribute(response, "print-darkness-supported", IPP_TAG_ZERO) &&
      !ippFindAttribute(response, "print-darkness-default", IPP_TAG_ZERO))
    ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "print-darkness-default",
                  data.darkness_default);
  if (ippFindAttribute(response, "print-speed-supported", IPP_TAG_ZERO) &&
      !ippFindAttribute(response, "print-speed-default", IPP_TAG_ZERO))
    ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "print-speed-default", data.speed_default);
}

}  // namespace

void CompleteOffers(pappl_client_t* client) {
  ipp_t* response = papplClientGetResponse(client);
  pappl_printer_t* printer = papplClientGetPrinter(client);
  if (!response || !printer || ippGetStatusCode(response) > IPP_STATUS_OK_EVENTS_COMPLETE) return;
  Replace(response, "print-color-mode-supported", kOfferedColorModes);
  Replace(response, "print-quality-supported", kOfferedQualities);
  Replace(response, "print-color-mode-default", std::span(kOfferedColorModes).first(1));
  // Colour raster is still taken (and printed in gray), but not asked for: CUPS offers colour
  // from these, and qualities from "PQ".
  static constexpr std::string_view kColourRaster[] = {"srgb_8", "SRGB24", "PQ3-4-5"};
  Drop(response, "pwg-raster-document-type-supported", kColourRaster);
  Drop(response, "urf-supported", kColourRaster);
  if (Requested(papplClientGetRequest(client))) AddJobSettings(response, printer);
  AddMissingDefaults(response, printer);
}

}  // namespace qxapp
