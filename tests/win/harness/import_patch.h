// Rebinds one imported function of a loaded module to another address, as a loader would
// have bound it, by rewriting the module's import address table.
#pragma once

#include <windows.h>

namespace qxwin {

// Rebinds `function`, imported by name from `dll` (case-insensitive), to `replacement`. Gives
// the address it was bound to before in `original` (may be null). False when the module does
// not import that function.
bool PatchImport(HMODULE module, const char* dll, const char* function, void* replacement, void** original);

}  // namespace qxwin
