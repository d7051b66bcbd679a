// The one printer model, "qxvn": what PAPPL announces for it (300 dpi, a 576-dot head, label
// media, darkness, speed, tracking and the vendor settings) and the callbacks that print.
#pragma once

#include <pappl/pappl.h>

#include "printer_app/label_driver/printer_model.h"

namespace qxapp {

inline constexpr const char* kPrinterFormat = "application/vnd.qxvn-label";

bool LabelDriver(pappl_system_t* system, const char* driverName, const char* deviceUri, const char* deviceId,
                 pappl_pr_driver_data_t* data, ipp_t** attrs, void* context);

// Registers the driver with the system.
void RegisterLabelDriver(pappl_system_t* system);

}  // namespace qxapp
