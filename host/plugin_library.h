// A loaded plug-in library and its three entry points, found by name as the platform's loader
// would find them.
#pragma once

#include <memory>
#include <string>

#include "platform/win_types.h"

namespace qxhost {

class PluginLibrary {
 public:
  using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
  using CanUnloadNowFn = HRESULT (*)();
  using CanUploadNowFn = DWORD (*)(DWORD);

  // Null with the reason in `error` when the file cannot be loaded or lacks an entry point.
  static std::unique_ptr<PluginLibrary> Load(const std::string& path, std::string* error);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) const {
    return m_getClassObject(clsid, iid, ppv);
  }
  HRESULT CanUnloadNow() const { return m_canUnloadNow(); }
  DWORD CanUploadNow(DWORD value) const { return m_canUploadNow(value); }
  const std::string& Path() const { return m_path; }

 private:
  PluginLibrary() = default;

  void* m_handle = nullptr;
  std::string m_path;
  GetClassObjectFn m_getClassObject = nullptr;
  CanUnloadNowFn m_canUnloadNow = nullptr;
  CanUploadNowFn m_canUploadNow = nullptr;
};

}  // namespace qxhost
