// One installed printer's data values, read and written through the spooler (Windows only):
// what qxvnconf and the printer's settings page both change.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/printerdata/reg_file.h"

namespace qxvn {

class PrinterStore {
 public:
  // Opens the printer for reading, or for changing its data. Throws ToolError naming the
  // cause: no such printer, access denied, or the spooler's error.
  PrinterStore(const std::wstring& printer, bool forChanges);
  // Works on a printer someone else opened (and closes): the driver's property sheet's.
  PrinterStore(HANDLE printer, const std::wstring& name) : m_name(name), m_printer(printer), m_owned(false) {}
  ~PrinterStore();
  PrinterStore(const PrinterStore&) = delete;
  PrinterStore& operator=(const PrinterStore&) = delete;

  // When the printer does not use this package's driver (whose name is kDriverName), says so,
  // naming the driver it uses; its data would never reach the plug-in.
  std::optional<std::string> OtherDriver() const;
  // Every value of the printer's data, in the spooler's order.
  std::vector<qxvn::RegValue> Values() const;
  // Sets (or, for `remove`, deletes) each value in order. When the spooler refuses one, the
  // values already changed are put back as they were and ToolError names the refusal.
  void Apply(const std::vector<qxvn::RegValue>& changes);

 private:
  void Write(const qxvn::RegValue& value);  // throws ToolError
  std::vector<qxvn::RegValue> ValuesOfDriverDataKey() const;
  std::wstring m_name;
  HANDLE m_printer = nullptr;
  bool m_owned = true;
};

// The driver's name, as the installation file names the model.
inline constexpr const wchar_t* kDriverName = L"QXVN LP2 Label Printer";

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& utf8);

}  // namespace qxvn
