// The sub-commands the app answers itself rather than through PAPPL's main loop: `submit`
// (copies by -n or -c, one job-name, options typed by what the printer announces, --wait for the
// verdict), `status` (of the server, a printer or a job), `options` (what the printer honours)
// and `drivers` (a device ID of several words taken whole). Each talks to the running server
// over its local socket and returns the exit status: 0, 1 when the server refused or the job
// failed, 2 for a wrong command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qxapp {

bool IsClientCommand(std::string_view subcommand);

// `args` are the sub-command's own arguments, its name left out; `socketPath` is the server's
// local socket (unused by `drivers`).
int RunClientCommand(const std::string& baseName, const std::string& subcommand,
                     const std::vector<std::string>& args, const std::string& socketPath);

}  // namespace qxapp
