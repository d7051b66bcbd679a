#include "uiplugin/oem_ui.h"

#include <cstring>

#include "plugin/oem_devmode.h"
#include "uiplugin/settings_page.h"

std::atomic<LONG> g_uiObjects{0};
std::atomic<LONG> g_uiServerLocks{0};

OemUi::~OemUi() {
  if (m_pDriverUI) m_pDriverUI->Release();
  g_uiObjects.fetch_sub(1);
}

HRESULT STDMETHODCALLTYPE OemUi::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemUI)) {
    *ppv = static_cast<IPrintOemUI*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE OemUi::AddRef() { return static_cast<ULONG>(m_lRefCount.fetch_add(1) + 1); }

ULONG STDMETHODCALLTYPE OemUi::Release() {
  const LONG remaining = m_lRefCount.fetch_sub(1) - 1;
  if (remaining != 0) return static_cast<ULONG>(remaining);
  delete this;
  return 0;
}

// The same signature and version as the rendering plug-in: the two make one plug-in, with one
// private device-mode section.
HRESULT STDMETHODCALLTYPE OemUi::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
  DWORD value = 0;
  switch (dwMode) {
    case OEMGI_GETSIGNATURE:
      value = OEM_SIGNATURE;
      break;
    case OEMGI_GETINTERFACEVERSION:
    case OEMGI_GETVERSION:
      value = OEM_VERSION;
      break;
    default:
      if (pcbNeeded) *pcbNeeded = 0;
      SetLastError(ERROR_NOT_SUPPORTED);
      return E_FAIL;
  }
  if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
  if (!pBuffer || cbSize < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return E_FAIL;
  }
  std::memcpy(pBuffer, &value, sizeof value);
  return S_OK;
}

// The rendering plug-in's own code, so that both size and convert the section alike.
HRESULT STDMETHODCALLTYPE OemUi::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
  return oem_devmode(dwMode, pOemDMParam);
}

HRESULT STDMETHODCALLTYPE OemUi::PublishDriverInterface(IUnknown* pIUnknown) {
  if (!pIUnknown) return E_POINTER;
  if (m_pDriverUI) return S_OK;
  void* driver = nullptr;
  if (FAILED(pIUnknown->QueryInterface(IID_IPrintOemDriverUI, &driver)) || !driver) return E_FAIL;
  m_pDriverUI = static_cast<IUnknown*>(driver);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE OemUi::DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM) {
  if (!pPSUIInfo) return E_POINTER;
  switch (pPSUIInfo->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      const auto* param = reinterpret_cast<const OEMUIPSPARAM*>(pPSUIInfo->lParamInit);
      if (!param || !pPSUIInfo->pfnComPropSheet) return E_INVALIDARG;
      return AddSettingsPage(*pPSUIInfo, *param) ? S_OK : E_FAIL;
    }
    case PROPSHEETUI_REASON_DESTROY:
      FreeSettingsPage(*pPSUIInfo);
      return S_OK;
    default:
      return S_OK;
  }
}
