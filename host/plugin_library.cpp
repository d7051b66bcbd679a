#include "host/plugin_library.h"

#include <dlfcn.h>

namespace qxhost {

namespace {
std::string LoaderError() {
  const char* text = dlerror();
  return text ? text : "unknown loader error";
}
}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::string& path, std::string* error) {
  std::unique_ptr<PluginLibrary> library(new PluginLibrary);
  library->m_path = path;
  // RTLD_LOCAL: the plug-in's own symbols stay its own, as in a separate module.
  library->m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library->m_handle) {
    if (error) *error = "cannot load the plug-in library " + path + ": " + LoaderError();
    return nullptr;
  }
  auto find = [&](const char* name) -> void* {
    dlerror();
    void* symbol = dlsym(library->m_handle, name);
    if (!symbol && error) *error = "the plug-in library " + path + " does not export " + name;
    return symbol;
  };
  void* getClassObject = find("DllGetClassObject");
  if (!getClassObject) return nullptr;
  void* canUnloadNow = find("DllCanUnloadNow");
  if (!canUnloadNow) return nullptr;
  void* canUploadNow = find("DllCanUploadNow");
  if (!canUploadNow) return nullptr;
  library->m_getClassObject = reinterpret_cast<GetClassObjectFn>(getClassObject);
  library->m_canUnloadNow = reinterpret_cast<CanUnloadNowFn>(canUnloadNow);
  library->m_canUploadNow = reinterpret_cast<CanUploadNowFn>(canUploadNow);
  return library;
}

PluginLibrary::~PluginLibrary() {
  if (m_handle) dlclose(m_handle);
}

}  // namespace qxhost
