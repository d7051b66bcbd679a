// The library's entry points.
#include <new>

#include "plugin/class_factory.h"
#include "plugin/oem_uni.h"

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!IsEqualCLSID(rclsid, CLSID_OEMRENDER)) return CLASS_E_CLASSNOTAVAILABLE;
  if (!ppv) return E_POINTER;
  auto* factory = new (std::nothrow) IOEMUniFactory;
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow(void) {
  if (g_lObjects.load(std::memory_order_relaxed) != 0) return S_FALSE;
  if (g_lServerLocks.load(std::memory_order_relaxed) != 0) return S_FALSE;
  return S_OK;
}

extern "C" DWORD STDAPICALLTYPE DllCanUploadNow(DWORD value) { return ~value; }

// Nothing to set up or tear down when the library is loaded or unloaded.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
