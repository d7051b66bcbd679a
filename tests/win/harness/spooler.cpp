#include "tests/win/harness/spooler.h"

#include <winspool.h>

#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "host/services/host_services.h"
#include "tests/win/harness/import_patch.h"

namespace qxwin {

namespace {

// The printers the harness makes only need a driver the spooler accepts; Wine's own PostScript
// driver files are in every prefix, and the plug-in is not a driver the spooler loads anyway.
// The driver takes the package's model name, as qxvnconf expects of a printer it changes; the
// other one stands for a printer of another maker.
constexpr const wchar_t* kDriverName = L"QXVN LP2 Label Printer";
constexpr const wchar_t* kOtherDriverName = L"qxvn harness other driver";
constexpr const wchar_t* kDriverFile = L"wineps.drv";
constexpr const wchar_t* kPrinterPrefix = L"qxvn harness ";

std::string g_error;
std::wstring g_existingPrinter;  // prints go to this printer when set, else to one made per print

void NoteError(const std::string& what, DWORD code) {
  if (g_error.empty()) g_error = what + " failed (error " + std::to_string(code) + ")";
}

// One printer and the document that holds its job.
struct HarnessPrinter {
  std::wstring name;
  HANDLE jobHandle = nullptr;  // the handle the document was started on, with the job's device mode
  DWORD jobId = 0;
  DWORD totalPages = 0;
  bool jobHasDevMode = false;
  std::wstring outputFile;
};
std::map<HANDLE, HarnessPrinter> g_printers;

using GetJobFn = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, LPBYTE, DWORD, LPDWORD);
GetJobFn g_spoolerGetJob = nullptr;

DEVMODEW DeviceModeFor(const std::wstring& printer, const DEVMODEW* from) {
  DEVMODEW dm{};
  if (from) dm = *from;
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = 0;
  wcsncpy(dm.dmDeviceName, printer.c_str(), CCHDEVICENAME - 1);
  dm.dmDeviceName[CCHDEVICENAME - 1] = 0;
  return dm;
}

bool IsHarnessPrinter(const wchar_t* name) {
  return name && std::wcsncmp(name, kPrinterPrefix, std::wcslen(kPrinterPrefix)) == 0;
}

void RemovePrinter(LPWSTR name) {
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  if (OpenPrinterW(name, &h, &access)) {
    DeletePrinter(h);
    ClosePrinter(h);
  }
}

void RemoveStalePrinters() {
  DWORD needed = 0;
  DWORD count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
  if (!needed) return;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer.data(), needed, &needed, &count)) return;
  auto* printers = reinterpret_cast<PRINTER_INFO_4W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (IsHarnessPrinter(printers[i].pPrinterName)) RemovePrinter(printers[i].pPrinterName);
}

// The spooler's GetJobW, with what the Windows spooler gives and Wine does not: Wine reports a
// TotalPages of 0 while the document is spooling (and crashes in SetJobW level 2, so the count
// cannot be stored in the job). The page count is what the plug-in starts its job with, so the
// harness fills it in, as the Windows spooler does for a job whose pages are known. It also
// makes the failures a case asks for, and hands over a job without a device mode when the
// case has none (Wine always gives the printer's).
BOOL WINAPI HarnessGetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size, LPDWORD needed) {
  const qxhost::Failures& faults = qxhost::HostFailures();
  if (!job && faults.getJobNoSize) {
    if (needed) *needed = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (job && faults.getJobFillFails) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BOOL ok = g_spoolerGetJob(printer, jobId, level, job, size, needed);
  auto it = g_printers.find(printer);
  if (ok && job && level == 2 && it != g_printers.end() && it->second.jobId == jobId) {
    auto* info = reinterpret_cast<JOB_INFO_2W*>(job);
    info->TotalPages = it->second.totalPages;
    if (!it->second.jobHasDevMode) info->pDevMode = nullptr;
  }
  return ok;
}

// Engine palettes. Windows' gdi32 exports EngCreatePalette and EngDeletePalette to user-mode
// printer drivers; Wine's gdi32 lacks them (and win32u's are unimplemented), so the harness,
// playing GDI, answers them: for the plug-in through its imports, and for the driver's own
// default palette directly.
std::map<HPALETTE, ULONG> g_palettes;
ULONG_PTR g_nextPalette = 0x5A000;

}  // namespace

bool AddPrinter(const std::wstring& printer, std::string* error, bool otherDriver) {
  std::wstring name = printer;
  DEVMODEW dm = DeviceModeFor(name, nullptr);
  PRINTER_INFO_2W info{};
  info.pPrinterName = name.data();
  info.pPortName = const_cast<LPWSTR>(L"FILE:");
  info.pDriverName = const_cast<LPWSTR>(otherDriver ? kOtherDriverName : kDriverName);
  info.pPrintProcessor = const_cast<LPWSTR>(L"WinPrint");
  info.pDatatype = const_cast<LPWSTR>(L"RAW");
  // With a device mode given, the spooler does not ask the driver for one.
  info.pDevMode = &dm;
  HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (!added && GetLastError() == ERROR_PRINTER_ALREADY_EXISTS) {
    // Left by a run that crashed: its data must not leak into ours.
    RemovePrinter(name.data());
    added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  }
  if (!added) {
    if (error) *error = "AddPrinterW failed (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  ClosePrinter(added);
  return true;
}

bool DeleteNamedPrinter(const std::wstring& printer, std::string* error) {
  std::wstring name = printer;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  if (!OpenPrinterW(name.data(), &h, &access)) {
    if (error) *error = "OpenPrinterW failed (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  const bool ok = ::DeletePrinter(h);
  if (!ok && error) *error = "DeletePrinter failed (error " + std::to_string(GetLastError()) + ")";
  ClosePrinter(h);
  return ok;
}

void UseExistingPrinter(const std::wstring& printer) { g_existingPrinter = printer; }

bool PrepareSpooler(std::string* error) {
  for (const wchar_t* name : {kDriverName, kOtherDriverName}) {
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(name);
    driver.pDriverPath = const_cast<LPWSTR>(kDriverFile);
    driver.pDataFile = const_cast<LPWSTR>(kDriverFile);
    driver.pConfigFile = const_cast<LPWSTR>(kDriverFile);
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
      if (error) *error = "AddPrinterDriverW failed (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
  }
  RemoveStalePrinters();
  return true;
}

bool BindPluginImports(HMODULE plugin, std::string* error) {
  struct Binding {
    const char* dll;
    const char* function;
    void* replacement;
    void** original;
  };
  void* unused = nullptr;
  void* spoolerGetJob = nullptr;
  const Binding bindings[] = {
      {"winspool.drv", "GetJobW", reinterpret_cast<void*>(&HarnessGetJobW), &spoolerGetJob},
      {"gdi32.dll", "EngCreatePalette", reinterpret_cast<void*>(&EngCreatePalette), &unused},
      {"gdi32.dll", "EngDeletePalette", reinterpret_cast<void*>(&EngDeletePalette), &unused},
  };
  for (const Binding& b : bindings) {
    if (!PatchImport(plugin, b.dll, b.function, b.replacement, b.original)) {
      if (error) *error = std::string("the plug-in does not import ") + b.function + " from " + b.dll;
      return false;
    }
  }
  g_spoolerGetJob = reinterpret_cast<GetJobFn>(spoolerGetJob);
  return true;
}

const std::string& SpoolerError() { return g_error; }

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

}  // namespace qxwin

// The stand-in host's control functions that the driver host uses, on the real spooler.
namespace qxhost {

using qxwin::g_printers;

HANDLE CreatePrinter() {
  static unsigned serial = 0;
  std::wstring name = qxwin::g_existingPrinter;
  if (name.empty()) {
    name = std::wstring(qxwin::kPrinterPrefix) + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial);
    std::string error;
    if (!qxwin::AddPrinter(name, &error)) {
      if (qxwin::g_error.empty()) qxwin::g_error = error;
      return nullptr;
    }
  }
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, &access)) {
    qxwin::NoteError("OpenPrinterW", GetLastError());
    return nullptr;
  }
  g_printers[printer].name = name;
  return printer;
}

void DeletePrinter(HANDLE printer) {
  auto it = g_printers.find(printer);
  if (it == g_printers.end()) return;
  qxwin::HarnessPrinter& p = it->second;
  if (p.jobHandle) {
    EndDocPrinter(p.jobHandle);
    ClosePrinter(p.jobHandle);
  }
  if (!p.outputFile.empty()) DeleteFileW(p.outputFile.c_str());
  // A printer the harness was given outlives the print, with its data.
  if (qxwin::g_existingPrinter.empty() && !::DeletePrinter(printer))
    qxwin::NoteError("DeletePrinter", GetLastError());
  ClosePrinter(printer);
  g_printers.erase(it);
}

void SetPrinterValue(HANDLE printer, std::u16string_view name, PrinterValue value) {
  std::wstring key(name.begin(), name.end());
  DWORD result =
      SetPrinterDataW(printer, key.data(), value.type, value.data.empty() ? nullptr : value.data.data(),
                      static_cast<DWORD>(value.data.size()));
  if (result != ERROR_SUCCESS) qxwin::NoteError("SetPrinterDataW", result);
}

// Starts a real document on the printer, on a handle opened with the job's device mode, so that
// the spooler's job record carries it. The spooler numbers the job itself: the case's job id
// must be the one it gives (each run is a fresh process, whose first job is 1).
void SetJob(HANDLE printer, DWORD jobId, const JobRecord& record) {
  auto it = g_printers.find(printer);
  if (it == g_printers.end()) return;
  qxwin::HarnessPrinter& p = it->second;
  DEVMODEW dm = qxwin::DeviceModeFor(p.name, record.devMode ? &*record.devMode : nullptr);
  PRINTER_DEFAULTSW access{nullptr, &dm, PRINTER_ACCESS_USE};
  if (!OpenPrinterW(p.name.data(), &p.jobHandle, &access)) {
    p.jobHandle = nullptr;
    qxwin::NoteError("OpenPrinterW for the job", GetLastError());
    return;
  }
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  p.outputFile = std::wstring(folder) + p.name + L".prn";
  std::wstring document(record.document.begin(), record.document.end());
  DOC_INFO_1W doc{document.data(), p.outputFile.data(), const_cast<LPWSTR>(L"RAW")};
  p.jobId = StartDocPrinterW(p.jobHandle, 1, reinterpret_cast<LPBYTE>(&doc));
  if (!p.jobId) {
    qxwin::NoteError("StartDocPrinterW", GetLastError());
    return;
  }
  if (jobId != 0 && p.jobId != jobId && qxwin::g_error.empty())
    qxwin::g_error = "the spooler numbered the job " + std::to_string(p.jobId) + ", the case expects " +
                     std::to_string(jobId);
  p.totalPages = record.totalPages;
  p.jobHasDevMode = record.devMode.has_value();
}

Failures& HostFailures() {
  static Failures failures;
  return failures;
}

// A harness run prints one document on one thread: a printer's failures are the process's, and
// debug output stays with the debugger that watches the process.
void SetPrinterFailures(HANDLE, const Failures& failures) { HostFailures() = failures; }
CallCounts PrinterCalls(HANDLE) { return {}; }
HANDLE ExchangeThreadPrinter(HANDLE) { return nullptr; }
DebugSink ExchangeThreadDebugSink(DebugSink) { return nullptr; }

bool IsLivePalette(HPALETTE palette) { return qxwin::g_palettes.count(palette) != 0; }

}  // namespace qxhost

extern "C" HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG, ULONG*, FLONG, FLONG, FLONG) {
  if (qxhost::HostFailures().createPaletteFails) return nullptr;
  auto palette = reinterpret_cast<HPALETTE>(qxwin::g_nextPalette += 0x10);
  qxwin::g_palettes[palette] = iMode;
  return palette;
}

extern "C" BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
  return qxwin::g_palettes.erase(hpal) ? TRUE : FALSE;
}
