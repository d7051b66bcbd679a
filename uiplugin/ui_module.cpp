// The library's entry points and its class factory, which makes the user interface object.
#include <new>

#include "uiplugin/oem_ui.h"

namespace {

class OemUiFactory final : public IClassFactory {
 public:
  OemUiFactory() { g_uiObjects.fetch_add(1); }
  ~OemUiFactory() { g_uiObjects.fetch_sub(1); }
  OemUiFactory(const OemUiFactory&) = delete;
  OemUiFactory& operator=(const OemUiFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(m_lRefCount.fetch_add(1) + 1); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG remaining = m_lRefCount.fetch_sub(1) - 1;
    if (remaining == 0) delete this;
    return static_cast<ULONG>(remaining);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) OemUi;
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock)
      g_uiServerLocks.fetch_add(1);
    else
      g_uiServerLocks.fetch_sub(1);
    return S_OK;
  }

 private:
  std::atomic<LONG> m_lRefCount{1};
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!IsEqualCLSID(rclsid, CLSID_OEMUI)) return CLASS_E_CLASSNOTAVAILABLE;
  if (!ppv) return E_POINTER;
  auto* factory = new (std::nothrow) OemUiFactory;
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow(void) {
  return g_uiObjects.load() == 0 && g_uiServerLocks.load() == 0 ? S_OK : S_FALSE;
}
