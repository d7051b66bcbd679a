// The app's check, before it serves anything, that every function it replaces in PAPPL
// (replaced_functions.def) takes effect in this process and that the PAPPL loaded is a version
// the replacements were checked against. The app never runs with one of them silently gone:
// an access check among them would be.
#pragma once

#include "printer_app/pappl_layer/binding_check.h"

namespace qxapp::layer {

// The check's input for the loaded PAPPL: the table's names and the version range the build
// was pinned to (cmake/pappl_pin.cmake).
LayerSpec PapplLayerSpec();

}  // namespace qxapp::layer
