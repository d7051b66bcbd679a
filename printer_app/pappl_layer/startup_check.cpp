#include "printer_app/pappl_layer/startup_check.h"

#include "printer_app/pappl_layer/replaced_functions.h"

namespace qxapp::layer {

LayerSpec PapplLayerSpec() {
  LayerSpec spec{"PAPPL",
                 "libpappl.so",
                 "PAPPL/",
                 *ParseVersion(QX_PAPPL_CHECKED_FROM),
                 *ParseVersion(QX_PAPPL_CHECKED_BELOW),
                 {},
                 {}};
  for (const ReplacedFunction& f : ReplacedFunctions()) spec.replaced.emplace_back(f.name);
  for (const ImportedFunction& f : ImportedFunctions()) spec.imported.emplace_back(f.name);
  return spec;
}

}  // namespace qxapp::layer
