#include "printer_app/pappl_layer/replaced_functions.h"

namespace qxapp::layer {
namespace {

#define QX_REPLACED(name, library, defect, knownIn, fixedIn, shownBy) \
  ReplacedFunction{#name, library, defect, knownIn, fixedIn, shownBy},
#define QX_IMPORTED(name, why)
constexpr ReplacedFunction kReplaced[] = {
#include "printer_app/pappl_layer/replaced_functions.def"
};
#undef QX_REPLACED
#undef QX_IMPORTED

#define QX_REPLACED(name, library, defect, knownIn, fixedIn, shownBy)
#define QX_IMPORTED(name, why) ImportedFunction{#name, why},
constexpr ImportedFunction kImported[] = {
#include "printer_app/pappl_layer/replaced_functions.def"
};
#undef QX_REPLACED
#undef QX_IMPORTED

}  // namespace

std::span<const ReplacedFunction> ReplacedFunctions() { return kReplaced; }
std::span<const ImportedFunction> ImportedFunctions() { return kImported; }

}  // namespace qxapp::layer
