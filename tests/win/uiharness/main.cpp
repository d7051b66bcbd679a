// Stands in for the printer driver's user interface around the user interface plug-in DLL, on
// the real (or Wine's) loader, spooler and window system:
//
//   qxvn-uiharness apply UI-DLL RENDER-DLL PRINTER [NAME=VALUE]...
//   qxvn-uiharness show MILLISECONDS UI-DLL RENDER-DLL PRINTER [NAME=VALUE]...
//
// loads the DLL through its exports (class factory, the plug-in object), checks that its
// private device-mode section is the rendering plug-in's, hands it a stand-in driver interface,
// asks for the printer's property sheet pages with a stand-in sheet callback, makes the page it
// added, fills the rows that NAME=VALUE names (VALUE empty: not stored; for a list, the value
// to select) and presses Apply; `show` first shows the page for that long, for a screenshot. Prints the
// page's last line; exit status 0 when the page stored its values, 1 when it refused them, 3 when the plug-in
// failed the harness.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/printoem_com.h"
#include "settings/label_settings.h"
#include "tests/win/harness/import_patch.h"
#include "uiplugin/oem_ui_interface.h"
#include "uiplugin/page_layout.h"

namespace {

int Fail(const std::string& what) {
  std::fprintf(stderr, "qxvn-uiharness: %s\n", what.c_str());
  return 3;
}

std::string Narrow(const std::wstring& text) {
  std::string out(text.size() * 3 + 1, '\0');
  out.resize(
      static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                              out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

// The driver's services interface: the plug-in only holds it.
class StandInDriver final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintOemDriverUI)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
  ULONG m_refs = 1;
};

// The sheet's callback: keeps the one page the plug-in adds.
PROPSHEETPAGEW g_page{};
int g_pagesAdded = 0;
LONG_PTR CALLBACK StandInSheet(HANDLE, UINT function, LPARAM lParam1, LPARAM) {
  if (function != CPSFUNC_ADD_PROPSHEETPAGEW || !lParam1) return 0;
  std::memcpy(&g_page, reinterpret_cast<const PROPSHEETPAGEW*>(lParam1), sizeof g_page);
  return 0x100 + ++g_pagesAdded;
}

// Wine's spooler lacks DeletePrinterDataW (calling it ends the process); under Wine the
// harness answers it as Wine's spooler keeps printer data, in the printer's registry key.
std::wstring g_printerName;
DWORD WINAPI WineDeletePrinterDataW(HANDLE, LPWSTR valueName) {
  const std::wstring key =
      L"System\\CurrentControlSet\\Control\\Print\\Printers\\" + g_printerName + L"\\PrinterDriverData";
  const LSTATUS result = RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), valueName);
  return static_cast<DWORD>(result);
}

bool OnWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

template <class F>
F Export(HMODULE dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();

// The default private section each library writes, through its own DevMode.
bool DefaultSection(HRESULT (*devMode)(void*, DWORD, POEMDMPARAM), void* object, OEM_DMEXTRAHEADER* out,
                    DWORD* size) {
  DEVMODEW dm{};
  OEMDMPARAM p{};
  p.cbSize = sizeof p;
  p.pPublicDMIn = &dm;
  p.pOEMDMOut = out;
  if (FAILED(devMode(object, OEMDM_SIZE, &p))) return false;
  *size = p.cbBufSize;
  return SUCCEEDED(devMode(object, OEMDM_DEFAULT, &p));
}

// Fills one row: a list's item by its value ("" the first, not stored), or an edit box's text.
bool FillRow(HWND page, const std::wstring& assignment, std::string* error) {
  const size_t eq = assignment.find(L'=');
  const std::wstring name = assignment.substr(0, eq);
  const std::wstring value = eq == std::wstring::npos ? L"" : assignment.substr(eq + 1);
  const auto settings = qxlabel::LabelSettings();
  for (size_t i = 0; i < settings.size(); ++i) {
    if (std::wstring(settings[i].name.begin(), settings[i].name.end()) != name) continue;
    HWND row = GetDlgItem(page, PageValueId(static_cast<int>(i)));
    if (!row) break;
    if (settings[i].choices.empty()) return SetWindowTextW(row, value.c_str()) != 0;
    LRESULT item = 0;
    for (size_t k = 0; !value.empty() && k < settings[i].choices.size(); ++k)
      if (std::to_wstring(settings[i].choices[k].value) == value) item = static_cast<LRESULT>(k) + 1;
    if (!value.empty() && item == 0) {
      *error = "the list " + Narrow(name) + " has no value " + Narrow(value);
      return false;
    }
    SendMessageW(row, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    return true;
  }
  *error = "the page has no row " + Narrow(name);
  return false;
}

// Shows the frame with the page on it and answers the window system for `ms` milliseconds.
void Show(HWND frame, HWND page, DWORD ms) {
  RECT r{};
  GetWindowRect(page, &r);
  SetWindowPos(frame, nullptr, 20, 20, r.right - r.left + 40, r.bottom - r.top + 60, SWP_NOZORDER);
  SetWindowPos(page, nullptr, 12, 12, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(frame, SW_SHOW);
  ShowWindow(page, SW_SHOW);
  const DWORD end = GetTickCount() + ms;
  for (DWORD now = GetTickCount(); now < end; now = GetTickCount()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

int Apply(const wchar_t* uiPath, const wchar_t* renderPath, const wchar_t* printerName,
          const std::vector<std::wstring>& assignments, DWORD showMs) {
  HMODULE ui = LoadLibraryW(uiPath);
  HMODULE render = LoadLibraryW(renderPath);
  if (!ui || !render)
    return Fail("cannot load the plug-in DLLs (error " + std::to_string(GetLastError()) + ")");
  g_printerName = printerName;
  if (OnWine() && !qxwin::PatchImport(ui, "winspool.drv", "DeletePrinterDataW",
                                      reinterpret_cast<void*>(&WineDeletePrinterDataW), nullptr))
    return Fail("the user interface DLL does not import DeletePrinterDataW");
  auto getUi = Export<GetClassObjectFn>(ui, "DllGetClassObject");
  auto canUnload = Export<CanUnloadFn>(ui, "DllCanUnloadNow");
  auto getRender = Export<GetClassObjectFn>(render, "DllGetClassObject");
  if (!getUi || !canUnload || !getRender) return Fail("a DLL lacks DllGetClassObject or DllCanUnloadNow");

  void* unused = nullptr;
  if (getUi(CLSID_OEMRENDER, IID_IClassFactory, &unused) != CLASS_E_CLASSNOTAVAILABLE)
    return Fail("the user interface DLL serves the rendering class");
  IClassFactory* factory = nullptr;
  IClassFactory* renderFactory = nullptr;
  if (FAILED(getUi(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
      FAILED(getRender(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&renderFactory))))
    return Fail("no class factory");
  IPrintOemUI* oem = nullptr;
  IPrintOemUni* renderer = nullptr;
  HRESULT made = factory->CreateInstance(nullptr, IID_IPrintOemUI, reinterpret_cast<void**>(&oem));
  renderFactory->CreateInstance(nullptr, IID_IPrintOemUni, reinterpret_cast<void**>(&renderer));
  factory->Release();
  renderFactory->Release();
  if (FAILED(made) || !oem || !renderer) return Fail("CreateInstance failed");

  DWORD signature = 0, needed = 0;
  if (FAILED(oem->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed)) ||
      signature != 0x4E565851)
    return Fail("GetInfo gives another signature than QXVN");
  OEM_DMEXTRAHEADER mine{}, theirs{};
  DWORD mineSize = 0, theirsSize = 0;
  auto uiDevMode = [](void* o, DWORD m, POEMDMPARAM p) {
    return static_cast<IPrintOemUI*>(o)->DevMode(m, p);
  };
  auto renderDevMode = [](void* o, DWORD m, POEMDMPARAM p) {
    return static_cast<IPrintOemUni*>(o)->DevMode(m, p);
  };
  if (!DefaultSection(uiDevMode, oem, &mine, &mineSize) ||
      !DefaultSection(renderDevMode, renderer, &theirs, &theirsSize) || mineSize != theirsSize ||
      std::memcmp(&mine, &theirs, sizeof mine) != 0)
    return Fail("the private device-mode section differs from the rendering plug-in's");
  renderer->Release();

  StandInDriver driver;
  if (FAILED(oem->PublishDriverInterface(&driver))) return Fail("PublishDriverInterface failed");

  HANDLE printer = nullptr;
  std::wstring name = printerName;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(name.data(), &printer, &access))
    return Fail("cannot open the printer (error " + std::to_string(GetLastError()) + ")");
  OEMUIPSPARAM param{};
  param.cbSize = sizeof param;
  param.hPrinter = printer;
  param.pPrinterName = name.data();
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info;
  info.Version = PROPSHEETUI_INFO_VERSION;
  info.Reason = PROPSHEETUI_REASON_INIT;
  info.hComPropSheet = reinterpret_cast<HANDLE>(1);
  info.pfnComPropSheet = StandInSheet;
  info.lParamInit = reinterpret_cast<LPARAM>(&param);
  if (FAILED(oem->DevicePropertySheets(&info, info.lParamInit)) || g_pagesAdded != 1 ||
      !(g_page.dwFlags & PSP_DLGINDIRECT) || !g_page.pfnDlgProc)
    return Fail("DevicePropertySheets added no page made from a template");

  // The sheet makes the page as a child dialog of its frame, whose WM_INITDIALOG gets the page's
  // description.
  HWND frame = CreateWindowExW(0, L"#32770", L"Printer Properties", WS_OVERLAPPEDWINDOW, 0, 0, 520, 480,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!frame) return Fail("no window for the sheet's frame (error " + std::to_string(GetLastError()) + ")");
  HWND page = CreateDialogIndirectParamW(g_page.hInstance, g_page.pResource, frame, g_page.pfnDlgProc,
                                         reinterpret_cast<LPARAM>(&g_page));
  if (!page) return Fail("the page's dialog was not made (error " + std::to_string(GetLastError()) + ")");
  std::string error;
  for (const std::wstring& a : assignments)
    if (!FillRow(page, a, &error)) return Fail(error);
  if (showMs) Show(frame, page, showMs);
  PSHNOTIFY apply{};
  apply.hdr.hwndFrom = nullptr;
  apply.hdr.code = PSN_APPLY;
  SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&apply));
  const LONG_PTR result = GetWindowLongPtrW(page, DWLP_MSGRESULT);
  wchar_t status[512] = {};
  GetDlgItemTextW(page, kPageStatusId, status, 512);
  std::printf("%s\n", Narrow(status).c_str());

  DestroyWindow(page);
  DestroyWindow(frame);
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  oem->DevicePropertySheets(&info, 0);
  ClosePrinter(printer);
  if (oem->Release() != 0) return Fail("the plug-in object outlived its last reference");
  if (driver.m_refs != 1) return Fail("the plug-in kept the driver's interface after its final Release");
  if (canUnload() != S_OK) return Fail("DllCanUnloadNow refuses with nothing left alive");
  return result == PSNRET_NOERROR ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"apply" && argc >= 5)
    return Apply(argv[2], argv[3], argv[4], std::vector<std::wstring>(argv + 5, argv + argc), 0);
  if (command == L"show" && argc >= 6)
    return Apply(argv[3], argv[4], argv[5], std::vector<std::wstring>(argv + 6, argv + argc),
                 static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  std::fprintf(stderr,
               "usage: qxvn-uiharness apply UI-DLL RENDER-DLL PRINTER [NAME=VALUE]...\n"
               "       qxvn-uiharness show MILLISECONDS UI-DLL RENDER-DLL PRINTER [NAME=VALUE]...\n");
  return 2;
}
