// Prints one page image through the real plug-in, by the stand-in host, and hands back the
// command stream it wrote. The one place where the app meets DriverHost.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/input/page_image.h"
#include "printer_app/options/setting_map.h"

namespace qxapp {

struct PageJob {
  int jobId = 1;
  std::string documentName;
  int copies = 1;
  bool customSize = false;  // the media is a custom size: the device mode asks for user paper
  int mediaWidth = 0;       // hundredths of a millimetre, for user paper
  int mediaLength = 0;
  PrinterData printerData;
  unsigned pageNumber = 1;  // of the page printed next, as the job's log names it
};

// The figures of one page's report in the plug-in's trace, gathered line by line: one line for
// the job's log once the report is complete, the plug-in's own lines going to the debug level.
class PageSummary {
 public:
  explicit PageSummary(unsigned pageNumber) : m_page(pageNumber) {}
  // "Page N: L lines, D dots, B bytes" once the line with the page's bytes arrives, else empty.
  std::string Take(std::string_view traceLine);

 private:
  unsigned m_page;
  std::string m_lines;
  std::string m_dots;
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
