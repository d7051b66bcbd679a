// Prints one page image through the real plug-in, by the stand-in host, and hands back the
// command stream it wrote. The one place where the app meets DriverHost.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/input/page_image.h"
#include "printer_app/setting_map.h"

namespace qxapp {

struct PageJob {
  int jobId = 1;
  std::string documentName;
  int copies = 1;
  bool customSize = false;  // the media is a custom size: the device mode asks for user paper
  int mediaWidth = 0;       // hundredths of a millimetre, for user paper
  int mediaLength = 0;
  PrinterData printerData;
};

// Loads the plug-in library once for the process, before any job prints; false with `error`
// when it cannot.
bool LoadPlugin(std::string* error);

// The page as one band, the job's device mode and printer data; the plug-in's trace goes to
// the job's log. False with `error` when the plug-in or the host failed.
bool PrintPage(pappl_job_t* job, const PageJob& spec, const qxvn::PageImage& page,
               std::vector<uint8_t>* stream, std::string* error);

// The device mode the page is printed with (also what `qxvn print` makes for the same page).
DEVMODEW PageDevMode(const PageJob& spec, const qxvn::PageImage& page);

}  // namespace qxapp
