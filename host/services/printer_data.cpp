// winspool stand-in: the printers' data values.
#include <algorithm>
#include <cstring>

#include "host/services/host_state.h"

namespace qxhost {

HANDLE CreatePrinter() {
  HostState& s = State();
  std::lock_guard lock(s.mutex);
  auto handle = reinterpret_cast<HANDLE>(s.nextHandle);
  s.nextHandle += 0x10;
  s.printers[handle];
  return handle;
}

void DeletePrinter(HANDLE printer) {
  std::lock_guard lock(State().mutex);
  State().printers.erase(printer);
}

void SetPrinterValue(HANDLE printer, std::u16string_view name, PrinterValue value) {
  std::lock_guard lock(State().mutex);
  State().printers[printer].values[FoldCase(name)] = std::move(value);
}

void SetPrinterDword(HANDLE printer, std::u16string_view name, DWORD value) {
  PrinterValue v;
  v.type = REG_DWORD;
  v.data.resize(4);
  std::memcpy(v.data.data(), &value, 4);
  SetPrinterValue(printer, name, std::move(v));
}

void RemovePrinterValue(HANDLE printer, std::u16string_view name) {
  std::lock_guard lock(State().mutex);
  auto it = State().printers.find(printer);
  if (it != State().printers.end()) it->second.values.erase(FoldCase(name));
}

void ClearPrinterValues(HANDLE printer) {
  std::lock_guard lock(State().mutex);
  auto it = State().printers.find(printer);
  if (it != State().printers.end()) it->second.values.clear();
}

}  // namespace qxhost

// Answers as the spooler does: the value's type and size are reported even when the buffer is
// too small (ERROR_MORE_DATA), and a missing value is ERROR_FILE_NOT_FOUND.
extern "C" DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData,
                                        DWORD nSize, LPDWORD pcbNeeded) {
  using namespace qxhost;
  HostState& s = State();
  std::lock_guard lock(s.mutex);
  ++s.calls.getPrinterData;
  auto printer = s.printers.find(hPrinter);
  if (printer != s.printers.end()) ++printer->second.calls.getPrinterData;
  if (!pValueName || !pcbNeeded) return ERROR_INVALID_PARAMETER;
  if (printer == s.printers.end()) return ERROR_INVALID_PRINTER_NAME;
  std::vector<std::u16string>& asked = printer->second.namesAsked;
  if (asked.size() < 64 && std::find(asked.begin(), asked.end(), pValueName) == asked.end())
    asked.emplace_back(pValueName);
  auto value = printer->second.values.find(FoldCase(pValueName));
  if (value == printer->second.values.end()) return ERROR_FILE_NOT_FOUND;
  const PrinterValue& v = value->second;
  if (pType) *pType = v.type;
  *pcbNeeded = static_cast<DWORD>(v.data.size());
  if (v.data.size() > nSize || (!pData && !v.data.empty())) return ERROR_MORE_DATA;
  if (!v.data.empty()) std::memcpy(pData, v.data.data(), v.data.size());
  return ERROR_SUCCESS;
}
