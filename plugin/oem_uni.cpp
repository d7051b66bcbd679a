// The plug-in object: identity, signature, hook table, device state and bands.
#include "plugin/oem_uni.h"

#include <cstring>
#include <new>

#include "plugin/ddi_hooks.h"
#include "plugin/device_state.h"
#include "plugin/oem_devmode.h"
#include "trace/trace.h"

std::atomic<LONG> g_lObjects{0};

IOEMUni::IOEMUni() { g_lObjects.fetch_add(1); }

IOEMUni::~IOEMUni() { g_lObjects.fetch_sub(1); }

HRESULT STDMETHODCALLTYPE IOEMUni::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemUni)) {
    *ppv = static_cast<IPrintOemUni*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE IOEMUni::AddRef() { return static_cast<ULONG>(m_lRefCount.fetch_add(1) + 1); }

ULONG STDMETHODCALLTYPE IOEMUni::Release() {
  const LONG remaining = m_lRefCount.fetch_sub(1) - 1;
  if (remaining != 0) return static_cast<ULONG>(remaining);
  if (m_pDriverUni) {
    m_pDriverUni->Release();
    m_pDriverUni = nullptr;
  }
  delete this;
  return 0;
}

HRESULT STDMETHODCALLTYPE IOEMUni::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
  DWORD value = 0;
  switch (dwMode) {
    case OEMGI_GETSIGNATURE:
      value = OEM_SIGNATURE;
      break;
    case OEMGI_GETINTERFACEVERSION:
    case OEMGI_GETVERSION:
      value = 1;
      break;
    default:
      TraceMessage(TRACE_WRN, TRUE, WSTR("IOEMUni::GetInfo() exit mode not supported."));
      if (pcbNeeded) *pcbNeeded = 0;
      SetLastError(ERROR_NOT_SUPPORTED);
      return E_FAIL;
  }
  bool written = false;
  if (cbSize >= sizeof(DWORD) && pBuffer) {
    std::memcpy(pBuffer, &value, sizeof value);
    written = true;
  }
  // A caller that gave a size pointer learns the size, whether or not its buffer was enough.
  if (pcbNeeded) {
    *pcbNeeded = sizeof(DWORD);
    return S_OK;
  }
  if (written) return S_OK;
  TraceMessage(TRACE_WRN, TRUE, WSTR("IOEMUni::GetInfo() exit pcbNeeded is NULL! ERROR_INVALID_PARAMETER."));
  SetLastError(ERROR_INVALID_PARAMETER);
  return E_FAIL;
}

HRESULT STDMETHODCALLTYPE IOEMUni::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
  return oem_devmode(dwMode, pOemDMParam);
}

HRESULT STDMETHODCALLTYPE IOEMUni::EnableDriver(DWORD, DWORD, PDRVENABLEDATA pded) {
  if (!pded) return E_POINTER;
  pded->iDriverVersion = DDI_DRIVER_VERSION_NT5;
  pded->c = HOOK_COUNT;
  pded->pdrvfn = const_cast<DRVFN*>(g_aHookTable);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IOEMUni::DisableDriver() {
  if (m_pDriverUni) {
    m_pDriverUni->Release();
    m_pDriverUni = nullptr;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IOEMUni::EnablePDEV(PDEVOBJ, PWSTR, ULONG, HSURF*, ULONG, GDIINFO* pGdiInfo, ULONG,
                                              DEVINFO* pDevInfo, DRVENABLEDATA* pded, PDEVOEM* pDevOem) {
  // Without these there is nothing to record and nowhere to put the state.
  if (!pded || !pGdiInfo || !pDevInfo || !pDevOem || (pded->c && !pded->pdrvfn)) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("OEMEnablePDEV(), ERROR_INVALID_PARAMETER."));
    if (pDevOem) *pDevOem = nullptr;
    return E_FAIL;
  }
  auto* state = new (std::nothrow) OEMPDEV;
  if (!state) {
    TraceMessage(TRACE_WRN, TRUE,
                 WSTR("OEMEnablePDEV(), error(%d) occured while allocating memory for pOEMPDEV!"),
                 GetLastError());
    *pDevOem = nullptr;
    return E_FAIL;
  }
  for (ULONG row = 0; row < HOOK_COUNT; ++row) {
    PFN saved = nullptr;
    for (ULONG i = 0; i < pded->c; ++i) {
      if (pded->pdrvfn[i].iFunc == g_aHookTable[row].iFunc) {
        saved = pded->pdrvfn[i].pfn;
        break;
      }
    }
    state->*SAVED_ENTRY[row] = saved;
  }
  // The band rasteriser reads blue, green, red bytes: give true-colour devices that palette.
  if (pGdiInfo->cBitsPixel >= 24) {
    if (pDevInfo->hpalDefault) EngDeletePalette(pDevInfo->hpalDefault);
    pDevInfo->hpalDefault = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  }
  state->m_pDriverUni = m_pDriverUni;
  state->m_hPalette = pDevInfo->hpalDefault;
  *pDevOem = state;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IOEMUni::DisablePDEV(PDEVOBJ pdevobj) {
  if (pdevobj && pdevobj->pdevOEM) {
    delete static_cast<POEMPDEV>(pdevobj->pdevOEM);
    pdevobj->pdevOEM = nullptr;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IOEMUni::ResetPDEV(PDEVOBJ, PDEVOBJ) { return S_OK; }

HRESULT STDMETHODCALLTYPE IOEMUni::PublishDriverInterface(IUnknown* pIUnknown) {
  if (m_pDriverUni) return S_OK;
  if (!pIUnknown) return E_FAIL;
  void* driverUni = nullptr;
  HRESULT hr = pIUnknown->QueryInterface(IID_IPrintOemDriverUni, &driverUni);
  if (FAILED(hr)) {
    m_pDriverUni = nullptr;
    return E_FAIL;
  }
  m_pDriverUni = static_cast<IPrintOemDriverUni*>(driverUni);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IOEMUni::GetImplementedMethod(PSTR pMethodName) {
  if (!pMethodName) return S_FALSE;
  if (std::strcmp(pMethodName, "FilterGraphics") == 0 || std::strcmp(pMethodName, "ImageProcessing") == 0)
    return S_OK;
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE IOEMUni::DriverDMS(PVOID, PVOID, DWORD, PDWORD) { return S_OK; }

HRESULT STDMETHODCALLTYPE IOEMUni::CommandCallback(PDEVOBJ, DWORD, DWORD, PDWORD, INT*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE IOEMUni::ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap,
                                                   PBITMAPINFOHEADER pBitmapInfoHeader, PBYTE pColorTable,
                                                   DWORD dwCallbackID, PIPPARAMS pIPParams,
                                                   PBYTE* ppbResult) {
  if (ppbResult) *ppbResult = nullptr;
  auto* state = pdevobj ? static_cast<POEMPDEV>(pdevobj->pdevOEM) : nullptr;
  if (!state) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("IOEMUni::ImageProcessing() without plug-in device state!"));
    return E_FAIL;
  }
  if (!state->m_JobProc.ImageProcessing(pdevobj, pSrcBitmap, pBitmapInfoHeader, pColorTable, dwCallbackID,
                                        pIPParams))
    return E_FAIL;
  // The band goes back to the driver unchanged.
  if (ppbResult) *ppbResult = pSrcBitmap;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE IOEMUni::FilterGraphics(PDEVOBJ, PBYTE, DWORD) { return S_OK; }

HRESULT STDMETHODCALLTYPE IOEMUni::Compression(PDEVOBJ, PBYTE, PBYTE, DWORD, DWORD, INT*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE IOEMUni::HalftonePattern(PDEVOBJ, PBYTE, DWORD, DWORD, DWORD, DWORD, PBYTE, DWORD) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE IOEMUni::MemoryUsage(PDEVOBJ, POEMMEMORYUSAGE) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE IOEMUni::TTYGetInfo(PDEVOBJ, DWORD, PVOID, DWORD, DWORD*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE IOEMUni::DownloadFontHeader(PDEVOBJ, PUNIFONTOBJ, DWORD*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE IOEMUni::DownloadCharGlyph(PDEVOBJ, PUNIFONTOBJ, ULONG, PDWORD, DWORD*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE IOEMUni::TTDownloadMethod(PDEVOBJ, PUNIFONTOBJ, DWORD*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE IOEMUni::OutputCharStr(PDEVOBJ, PUNIFONTOBJ, DWORD, DWORD, PVOID) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE IOEMUni::SendFontCmd(PDEVOBJ, PUNIFONTOBJ, PFINVOCATION) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE IOEMUni::TextOutAsBitmap(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*,
                                                   BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX) {
  return E_NOTIMPL;
}
