// The name of the one printer model, as PAPPL's printers and the device match know it.
#pragma once

namespace qxapp {

inline constexpr const char* kDriverName = "qxvn";

}  // namespace qxapp
