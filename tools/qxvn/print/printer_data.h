// The printer's data values for a job: the .reg file's values in order, then each --set.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/services/host_services.h"
#include "tools/qxvn/print/print_options.h"

namespace qxvn {

using PrinterData = std::vector<std::pair<std::u16string, qxhost::PrinterValue>>;

// Throws ToolError for an unreadable or malformed file, UsageError for a bad --set name.
PrinterData CollectPrinterData(const PrintOptions& options);

}  // namespace qxvn
