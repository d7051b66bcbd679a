// Turns the input pages and the print options into the document the stand-in host plays.
#pragma once

#include <string>
#include <vector>

#include "common/input/page_image.h"
#include "host/driver_host.h"
#include "tools/qxvn/print/page_feeder.h"
#include "tools/qxvn/print/print_options.h"
#include "tools/qxvn/print/printer_data.h"

namespace qxvn {

// The job's device mode: the user's paper from --paper, else standard form 1 with the first
// page's size at 300 dpi; copies, and collation when asked for.
DEVMODEW JobDevMode(const PrintOptions& options, const PageImage& firstPage);

// The pages come from `feeder` as the host reaches them; the first is decoded now, for the
// paper size. The plug-in writes the copies of a page itself, except for a collated document
// of several pages, whose collation it leaves to the print processor: that role falls to us,
// so such a document is played once per copy. `feeder` must outlive the job. Throws ToolError.
qxhost::JobSpec BuildJob(const PrintOptions& options, PageFeeder& feeder, PrinterData printerData,
                         std::u16string documentName);

}  // namespace qxvn
