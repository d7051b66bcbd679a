#include "common/printerdata/printer_store.h"

#include <winspool.h>

#include <algorithm>
#include <optional>

#include "common/io/utf.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = n && text ? std::wstring(text, n) : L"";
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
    message.pop_back();
  std::string out = Narrow(message);
  if (!out.empty()) out.push_back(' ');
  out.append("(error ").append(std::to_string(error)).append(")");
  return out;
}

std::wstring WideName(const std::u16string& name) { return std::wstring(name.begin(), name.end()); }

char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

}  // namespace

std::string Narrow(const std::wstring& text) {
  return qxvn::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::wstring Widen(const std::string& utf8) {
  std::u16string wide;
  if (!qxvn::Utf8ToUtf16(utf8, &wide)) return std::wstring(utf8.begin(), utf8.end());
  return std::wstring(wide.begin(), wide.end());
}

std::optional<std::string> PrinterStore::OtherDriver() const {
  DWORD needed = 0;
  GetPrinterW(m_printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(std::max<DWORD>(needed, sizeof(PRINTER_INFO_2W)));
  if (!GetPrinterW(m_printer, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed))
    return std::string("cannot tell the driver of \"")
        .append(Narrow(m_name))
        .append("\": ")
        .append(SystemMessage(GetLastError()));
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  const std::wstring driver = info->pDriverName ? info->pDriverName : L"";
  if (driver == kDriverName) return std::nullopt;
  // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about a chain of "+".
  std::string text(1, '"');
  text.append(Narrow(m_name)).append("\" uses the driver \"").append(Narrow(driver));
  text.append("\", not \"").append(Narrow(kDriverName)).append("\": the plug-in never reads its values");
  return text;
}

PrinterStore::PrinterStore(const std::wstring& printer, bool forChanges) : m_name(printer) {
  PRINTER_DEFAULTSW access{nullptr, nullptr,
                           static_cast<ACCESS_MASK>(forChanges ? PRINTER_ALL_ACCESS : PRINTER_ACCESS_USE)};
  if (OpenPrinterW(m_name.data(), &m_printer, &access)) return;
  const DWORD error = GetLastError();
  m_printer = nullptr;
  std::string name(1, '"');
  name.append(Narrow(printer)).push_back('"');
  if (error == ERROR_INVALID_PRINTER_NAME)
    throw qxvn::ToolError("no printer named " + name + " is installed");
  if (error == ERROR_ACCESS_DENIED)
    throw qxvn::ToolError("access denied to printer " + name +
                          (forChanges ? ": changing its settings needs an administrator" : ""));
  throw qxvn::ToolError("cannot open printer " + name + ": " + SystemMessage(error));
}

PrinterStore::~PrinterStore() {
  if (m_printer && m_owned) ClosePrinter(m_printer);
}

std::vector<qxvn::RegValue> PrinterStore::Values() const {
  std::vector<qxvn::RegValue> values;
  // The first call tells the longest name and data of all the printer's values.
  DWORD nameNeeded = 0, type = 0, dataNeeded = 0;
  DWORD result = EnumPrinterDataW(m_printer, 0, nullptr, 0, &nameNeeded, &type, nullptr, 0, &dataNeeded);
  if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    const DWORD nameChars = nameNeeded / sizeof(wchar_t) + 1;
    const DWORD dataSize = std::max<DWORD>(dataNeeded, 1);
    std::vector<wchar_t> name(nameChars);
    std::vector<BYTE> data(dataSize);
    for (DWORD index = 0;; ++index) {
      result = EnumPrinterDataW(m_printer, index, name.data(), nameChars * sizeof(wchar_t), &nameNeeded,
                                &type, data.data(), dataSize, &dataNeeded);
      if (result == ERROR_NO_MORE_ITEMS) return values;
      if (result != ERROR_SUCCESS) break;
      qxvn::RegValue value;
      value.name.assign(name.data(), name.data() + wcsnlen(name.data(), nameChars));
      value.type = type;
      value.data.assign(data.begin(), data.begin() + std::min(dataNeeded, dataSize));
      values.push_back(std::move(value));
    }
    throw qxvn::ToolError("cannot read the data of \"" + Narrow(m_name) + "\": " + SystemMessage(result));
  }
  // Spoolers that do not enumerate values this way (Wine's) list the same key by name.
  return ValuesOfDriverDataKey();
}

std::vector<qxvn::RegValue> PrinterStore::ValuesOfDriverDataKey() const {
  std::vector<qxvn::RegValue> values;
  wchar_t key[] = L"PrinterDriverData";
  DWORD needed = 0, count = 0;
  DWORD result = EnumPrinterDataExW(m_printer, key, nullptr, 0, &needed, &count);
  if (result == ERROR_FILE_NOT_FOUND || (result == ERROR_SUCCESS && count == 0)) return values;
  std::vector<BYTE> buffer(std::max<DWORD>(needed, 1));
  if (result == ERROR_MORE_DATA)
    result = EnumPrinterDataExW(m_printer, key, buffer.data(), needed, &needed, &count);
  if (result != ERROR_SUCCESS)
    throw qxvn::ToolError("cannot read the data of \"" + Narrow(m_name) + "\": " + SystemMessage(result));
  const auto* entries = reinterpret_cast<const PRINTER_ENUM_VALUESW*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    qxvn::RegValue value;
    value.name.assign(entries[i].pValueName, entries[i].pValueName + wcslen(entries[i].pValueName));
    value.type = entries[i].dwType;
    value.data.assign(entries[i].pData, entries[i].pData + entries[i].cbData);
    values.push_back(std::move(value));
  }
  return values;
}

void PrinterStore::Write(const qxvn::RegValue& value) {
  std::wstring name = WideName(value.name);
  DWORD result;
  if (value.remove) {
    result = DeletePrinterDataW(m_printer, name.data());
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;  // already gone
  } else {
    BYTE empty = 0;
    result = SetPrinterDataW(m_printer, name.data(), value.type,
                             value.data.empty() ? &empty : const_cast<BYTE*>(value.data.data()),
                             static_cast<DWORD>(value.data.size()));
  }
  if (result == ERROR_SUCCESS) return;
  std::string what = value.remove ? "cannot delete \"" : "cannot set \"";
  what.append(qxvn::Utf16ToUtf8(value.name)).append("\" on \"").append(Narrow(m_name)).append("\": ");
  if (result == ERROR_ACCESS_DENIED) throw qxvn::ToolError(what + "access denied (run as an administrator)");
  throw qxvn::ToolError(what + SystemMessage(result));
}

void PrinterStore::Apply(const std::vector<qxvn::RegValue>& changes) {
  // What each changed value was before, to put back if a later change is refused.
  const std::vector<qxvn::RegValue> before = Values();
  std::vector<qxvn::RegValue> undo;
  try {
    for (const qxvn::RegValue& change : changes) {
      auto old = std::find_if(before.begin(), before.end(),
                              [&](const qxvn::RegValue& v) { return SameName(v.name, change.name); });
      qxvn::RegValue restore;
      if (old != before.end()) {
        restore = *old;
      } else {
        restore.name = change.name;
        restore.remove = true;
      }
      Write(change);
      undo.push_back(std::move(restore));
    }
  } catch (const qxvn::ToolError&) {
    for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
      try {
        Write(*it);
      } catch (const qxvn::ToolError&) {
      }
    }
    throw;
  }
}

}  // namespace qxvn
