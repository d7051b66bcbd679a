// What a job's message may tell any client: the text with every absolute path shortened to its
// last part (a file's name), so that no folder of the server shows. The log keeps the paths.
#pragma once

#include <string>

namespace qxapp {

std::string WithoutServerPaths(const std::string& message);

}  // namespace qxapp
