// The plug-in DLL loaded as the system loads it, its entry points found by name, and its host
// imports bound to the harness's spooler and engine where Wine cannot answer them.
#include "host/plugin_library.h"

#include <windows.h>

#include "tests/win/harness/spooler.h"

namespace qxhost {

namespace {

template <class F>
F Entry(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::string& path, std::string* error) {
  std::unique_ptr<PluginLibrary> library(new PluginLibrary);
  library->m_path = path;
  HMODULE module = LoadLibraryW(qxwin::Wide(path).c_str());
  if (!module) {
    if (error)
      *error = "cannot load the plug-in library " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  library->m_handle = module;
  library->m_getClassObject = Entry<GetClassObjectFn>(module, "DllGetClassObject");
  library->m_canUnloadNow = Entry<CanUnloadNowFn>(module, "DllCanUnloadNow");
  library->m_canUploadNow = Entry<CanUploadNowFn>(module, "DllCanUploadNow");
  const char* missing = !library->m_getClassObject ? "DllGetClassObject"
                        : !library->m_canUnloadNow ? "DllCanUnloadNow"
                        : !library->m_canUploadNow ? "DllCanUploadNow"
                                                   : nullptr;
  if (missing) {
    if (error) *error = "the plug-in library " + path + " does not export " + missing;
    return nullptr;
  }
  if (!qxwin::BindPluginImports(module, error)) return nullptr;
  return library;
}

PluginLibrary::~PluginLibrary() {
  if (m_handle) FreeLibrary(static_cast<HMODULE>(m_handle));
}

}  // namespace qxhost
