#include "printer_app/options/orientation_default.h"

#include <pappl/pappl.h>

#include <memory>
#include <string>

#include "printer_app/options/printer_defaults.h"

namespace qxapp {
namespace {

struct IppFree {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppFree>;

// The attributes of `before` that `after` lacks: those the driver added to PAPPL's own.
IppPtr Added(ipp_t* before, ipp_t* after) {
  IppPtr added(ippNew());
  for (ipp_attribute_t* attr = ippFirstAttribute(before); attr; attr = ippNextAttribute(before)) {
    const char* name = ippGetName(attr);
    if (name && !ippFindAttribute(after, name, IPP_TAG_ZERO)) ippCopyAttribute(added.get(), attr, 0);
  }
  return added;
}

// papplPrinterSetDriverData makes the driver's attributes again from the data, less what the
// driver added (the vendor settings and their defaults): those are set again with it.
void SetOrientation(pappl_printer_t* printer, ipp_orient_t orientation) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  if (data.orient_default == orientation) return;
  data.orient_default = orientation;
  IppPtr before(papplPrinterGetDriverAttributes(printer));
  if (!papplPrinterSetDriverData(printer, &data, nullptr)) return;
  IppPtr after(papplPrinterGetDriverAttributes(printer));
  IppPtr added = Added(before.get(), after.get());
  if (!papplPrinterSetDriverData(printer, &data, added.get()))
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot set the driver's settings again.");
}

}  // namespace

void CompleteDriverDefaults(pappl_printer_t* printer, const pappl_pr_driver_data_t* data) {
  if (data) SetOrientation(printer, data->orient_default);
  LoadDefaultLabel(printer);
}

}  // namespace qxapp
