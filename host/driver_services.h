// The driver's services object handed to the plug-in through PublishDriverInterface. The
// plug-in only holds it; the stand-in counts the references so that leaks show.
#pragma once

#include <atomic>

#include "platform/printoem_com.h"

namespace qxhost {

class DriverServices final : public IPrintOemDriverUni {
 public:
  // Whether QueryInterface yields IPrintOemDriverUni, as the real driver's object does.
  explicit DriverServices(bool offersDriverUni = true) : m_offersDriverUni(offersDriverUni) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
  // The host owns the object: references only count, the last one destroys nothing.
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--m_refs); }

  HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) override {
    return NotImplemented();
  }
  HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                             DWORD* pdwResult) override;
  HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) override { return NotImplemented(); }
  HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) override { return NotImplemented(); }
  HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD, PDWORD) override {
    return NotImplemented();
  }
  HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) override {
    return NotImplemented();
  }
  HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                                          BRUSHOBJ*, POINTL*, MIX) override {
    return NotImplemented();
  }
  HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) override {
    return NotImplemented();
  }

  // References taken by others and not yet released.
  LONG References() const { return m_refs.load(); }
  // Calls of any method other than QueryInterface, AddRef and Release.
  int ServiceCalls() const { return m_serviceCalls.load(); }

 private:
  HRESULT NotImplemented() {
    ++m_serviceCalls;
    return E_NOTIMPL;
  }

  bool m_offersDriverUni;
  std::atomic<LONG> m_refs{0};
  std::atomic<int> m_serviceCalls{0};
};

}  // namespace qxhost
