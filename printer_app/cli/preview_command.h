// `qxvn-printer-app preview -j JOB [-o FILE.png]`: writes the labels of a job of the running
// server as the job's page shows them (what it printed, or for a job still waiting, what it will
// print), fetched from the server's local socket under the same rules as the web page: the
// job's owner and the administrators alone.
#pragma once

#include <string>
#include <vector>

namespace qxapp {

// `args`: those after "preview"; `socket`: the running server's control socket, empty for
// the usage (--help). The exit status: 0 when every label was written, 1 when the job's labels cannot be
// had, 2 for a wrong command line.
int RunPreviewCommand(const std::string& baseName, const std::string& socket,
                      const std::vector<std::string>& args);

}  // namespace qxapp
