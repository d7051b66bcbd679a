// The table of PAPPL's functions the app replaces (replaced_functions.def), as data.
#pragma once

#include <span>

namespace qxapp::layer {

struct ReplacedFunction {
  const char* name;
  const char* library;  // whose function it is: "PAPPL" or "CUPS" (called by PAPPL)
  const char* defect;
  const char* knownIn;  // the PAPPL versions known to have the defect
  const char* fixedIn;  // the upstream PAPPL version that fixed it, "" if none is known
  const char* shownBy;  // the test that fails without the replacement, "" if none
};

struct ImportedFunction {
  const char* name;
  const char* why;
};

std::span<const ReplacedFunction> ReplacedFunctions();
std::span<const ImportedFunction> ImportedFunctions();

}  // namespace qxapp::layer
