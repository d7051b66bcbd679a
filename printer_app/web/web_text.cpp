#include "printer_app/web/web_text.h"

#include <cstdio>
#include <string>

#include "printer_app/web/web_jobs.h"
#include "printer_app/web/web_strings.h"

namespace qxapp {
namespace {

// PAPPL 1.3 offers every print quality on the Printing Defaults page, and colour; a label prints
// the same whatever they say, so those choices are hidden. The content type stays: photo and
// graphics content is dithered.
constexpr const char* kFooterStyle =
    "<style>label:has(> input[name=\"print-quality\"][value=\"draft\"]),"
    "label:has(> input[name=\"print-color-mode\"][value=\"color\"]),"
    "label:has(> input[name=\"print-quality\"][value=\"high\"]){display:none}"
    // The footer is fixed to the window's foot: the page ends above it, so a long table of jobs
    // is never hidden under it.
    "body{padding-bottom:32px}</style>";

constexpr const char* kStringsPath = "/qxvn/en.strings";

bool SuppliesPage(pappl_client_t* client, void* data) {
  auto* printer = static_cast<pappl_printer_t*>(data);
  papplClientHTMLPrinterHeader(client, printer, "Supplies", 0, nullptr, nullptr);
  papplClientHTMLPrintf(
      client,
      "          <table class=\"form\"><tbody>\n"
      "            <tr><th>Label roll:</th><td>level not known (the printer does not report it)</td></tr>\n"
      "          </tbody></table>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

const char* const kAppVersion = QXVN_VERSION;

void AddWebText(pappl_system_t* system) {
  // PAPPL 1.3.1 adds printer-strings-languages-supported to the printer's own attributes again
  // on every Get-Printer-Attributes while a strings resource exists (duplicate attributes that
  // IPP clients refuse, and memory that grows). The strings are read in when added, so the
  // resource goes again at once and the web pages keep them.
  papplSystemAddStringsData(system, kStringsPath, "en", kEnglishStrings);
  papplSystemRemoveResource(system, kStringsPath);
  const std::string footer =
      std::string("QXVN Label Printer Application ") + kAppVersion + kFooterStyle + kJobListScript;
  papplSystemSetFooterHTML(system, footer.c_str());

  pappl_version_t version{};
  std::snprintf(version.name, sizeof version.name, "qxvn-printer-app");
  std::snprintf(version.sversion, sizeof version.sversion, "%s", kAppVersion);
  unsigned parts[3] = {};
  std::sscanf(kAppVersion, "%u.%u.%u", &parts[0], &parts[1], &parts[2]);
  for (int i = 0; i < 3; ++i) version.version[i] = static_cast<unsigned short>(parts[i]);
  papplSystemSetVersions(system, 1, &version);
}

void AddSuppliesPage(pappl_printer_t* printer) {
  char path[256];
  papplPrinterGetPath(printer, "supplies", path, sizeof path);
  papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", SuppliesPage, printer);
}

void AnnounceUrl(pappl_system_t* system, bool network, int port, const std::string& stateDir) {
  char host[256] = "localhost";
  if (network) papplSystemGetHostName(system, host, sizeof host);
  std::fprintf(stderr, "qxvn-printer-app %s: serving http://%s:%d/ (state in %s)\n", kAppVersion, host, port,
               stateDir.c_str());
}

}  // namespace qxapp
