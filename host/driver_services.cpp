#include "host/driver_services.h"

namespace qxhost {

HRESULT STDMETHODCALLTYPE DriverServices::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || (m_offersDriverUni && IsEqualIID(riid, IID_IPrintOemDriverUni))) {
    *ppv = static_cast<IPrintOemDriverUni*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE DriverServices::DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                                           DWORD* pdwResult) {
  ++m_serviceCalls;
  if (!pdevobj || !pdevobj->pDrvProcs || !pdevobj->pDrvProcs->DrvWriteSpoolBuf) return E_FAIL;
  DWORD written = pdevobj->pDrvProcs->DrvWriteSpoolBuf(pdevobj, pBuffer, cbSize);
  if (pdwResult) *pdwResult = written;
  return written == cbSize ? S_OK : E_FAIL;
}

}  // namespace qxhost
