// One installed printer's data values, read and written through the spooler.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/printerdata/reg_file.h"

namespace qxvnconf {

class PrinterStore {
 public:
  // Opens the printer for reading, or for changing its data. Throws ToolError naming the
  // cause: no such printer, access denied, or the spooler's error.
  PrinterStore(const std::wstring& printer, bool forChanges);
  ~PrinterStore();
  PrinterStore(const PrinterStore&) = delete;
  PrinterStore& operator=(const PrinterStore&) = delete;

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
};

std::string Narrow(const std::wstring& text);

}  // namespace qxvnconf
