#include "plugin/class_factory.h"

#include <new>

#include "plugin/oem_uni.h"

std::atomic<LONG> g_lServerLocks{0};

IOEMUniFactory::IOEMUniFactory() { g_lObjects.fetch_add(1); }

IOEMUniFactory::~IOEMUniFactory() { g_lObjects.fetch_sub(1); }

HRESULT STDMETHODCALLTYPE IOEMUniFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE IOEMUniFactory::AddRef() { return static_cast<ULONG>(m_lRefCount.fetch_add(1) + 1); }

ULONG STDMETHODCALLTYPE IOEMUniFactory::Release() {
  const LONG remaining = m_lRefCount.fetch_sub(1) - 1;
  if (remaining != 0) return static_cast<ULONG>(remaining);
  delete this;
  return 0;
}

HRESULT STDMETHODCALLTYPE IOEMUniFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  auto* object = new (std::nothrow) IOEMUni;
  if (!object) return E_OUTOFMEMORY;
  // The caller keeps the reference QueryInterface adds; an unknown interface destroys the object.
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE IOEMUniFactory::LockServer(BOOL fLock) {
  if (fLock)
    g_lServerLocks.fetch_add(1);
  else
    g_lServerLocks.fetch_sub(1);
  return S_OK;
}
