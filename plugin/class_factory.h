// The class factory that makes plug-in objects, and the server lock count.
#pragma once

#include <atomic>

#include "platform/printoem_com.h"

extern std::atomic<LONG> g_lServerLocks;

class IOEMUniFactory final : public IClassFactory {
 public:
  IOEMUniFactory();
  IOEMUniFactory(const IOEMUniFactory&) = delete;
  IOEMUniFactory& operator=(const IOEMUniFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

 private:
  ~IOEMUniFactory();

  std::atomic<LONG> m_lRefCount{1};
};
