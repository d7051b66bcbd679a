// qxvnconf: shows and changes the label settings that the plug-in reads from an installed
// printer's data, through the spooler.
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/printerdata/printer_store.h"
#include "common/printerdata/reg_file.h"
#include "common/tool_error.h"
#include "tools/qxvnconf/reg_export.h"
#include "tools/qxvnconf/settings.h"

namespace {

// UTF-8 text to standard output or error: as wide text to a console, whose code page may not
// be UTF-8, and as UTF-8 bytes to a file or pipe.
void Write(DWORD which, const std::string& text) {
  HANDLE out = GetStdHandle(which);
  DWORD mode = 0;
  if (out && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    const std::wstring wide = qxvn::Widen(text);
    DWORD written = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::FILE* stream = which == STD_ERROR_HANDLE ? stderr : stdout;
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

void Print(const std::string& text) { Write(STD_OUTPUT_HANDLE, text); }

// A malformed NAME=VALUE: one line, not the whole usage.
class ValueError : public qxvn::ToolError {
 public:
  using ToolError::ToolError;
};

std::string Usage() {
  return "usage: qxvnconf PRINTER show\n"
         "       qxvnconf PRINTER set [--force] NAME=VALUE...\n"
         "       qxvnconf PRINTER import [--force] FILE.reg\n"
         "       qxvnconf PRINTER export FILE.reg\n"
         "       qxvnconf --help\n";
}

std::string Help() {
  return Usage() +
         "\nVALUE is decimal or 0x hexadecimal and is stored as a REG_DWORD. A value the plug-in\n"
         "would ignore, or a name it does not read, is refused unless --force. import reads a\n"
         "registry export (regedit's, or export's); \"NAME\"=- deletes a value. Nothing is changed\n"
         "unless every value is accepted.\n\nThe settings the plug-in reads:\n" +
         qxvnconf::SettingsHelp();
}

// Writes beside the target and renames, so that a failed export leaves an older file whole.
void WriteFileWhole(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  const std::wstring temporary = path + L".qxvnconf-new";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw qxvn::ToolError("cannot write " + qxvn::Narrow(path) + " (error " + std::to_string(GetLastError()) +
                          ")");
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok || !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(temporary.c_str());
    throw qxvn::ToolError("cannot write " + qxvn::Narrow(path) + " (error " +
                          std::to_string(ok ? GetLastError() : error) + ")");
  }
}

// Everything is checked, against the printer's driver and its values as they are, before the
// first value is written.
void Change(const std::wstring& printer, std::vector<qxvn::RegValue> values, bool force,
            const std::string& file) {
  qxvn::PrinterStore store(printer, true);
  if (std::optional<std::string> other = store.OtherDriver(); other && !force)
    throw qxvn::ToolError(*other + "; --force stores the values anyway");
  store.Apply(qxvnconf::PlanChanges(std::move(values), force, file, store.Values()));
}

int Run(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == L"--help" || args[0] == L"-h")) {
    Print(Help());
    return 0;
  }
  if (args.size() < 2) throw qxvn::UsageError("a printer and a command are needed");
  const std::wstring& printer = args[0];
  const std::wstring& command = args[1];
  std::vector<std::wstring> rest(args.begin() + 2, args.end());
  bool force = false;
  std::erase_if(rest, [&](const std::wstring& a) { return a == L"--force" ? (force = true) : false; });

  if (command == L"show" && rest.empty() && !force) {
    qxvn::PrinterStore store(printer, false);
    if (std::optional<std::string> other = store.OtherDriver())
      Write(STD_ERROR_HANDLE, "qxvnconf: warning: " + *other + "\n");
    Print(qxvnconf::ShowTable(qxvn::Narrow(printer), store.Values()));
    return 0;
  }
  if (command == L"export" && rest.size() == 1 && !force) {
    qxvn::PrinterStore store(printer, false);
    const std::u16string name(printer.begin(), printer.end());
    WriteFileWhole(rest[0], qxvnconf::ExportRegFile(name, store.Values()));
    return 0;
  }
  if (command == L"set" && !rest.empty()) {
    std::vector<qxvn::RegValue> values;
    for (const std::wstring& a : rest) {
      try {
        values.push_back(qxvnconf::ParseAssignment(qxvn::Narrow(a)));
      } catch (const qxvn::UsageError& e) {
        throw ValueError(e.what());
      }
    }
    Change(printer, std::move(values), force, "");
    return 0;
  }
  if (command == L"import" && rest.size() == 1) {
    const std::string file = qxvn::Narrow(rest[0]);
    Change(printer, qxvn::ReadRegFile(file), force, file);
    return 0;
  }
  throw qxvn::UsageError("unknown command or wrong arguments");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    return Run(argc, argv);
  } catch (const ValueError& e) {
    Write(STD_ERROR_HANDLE, std::string("qxvnconf: ") + e.what() + "\n");
    return 2;
  } catch (const qxvn::UsageError& e) {
    Write(STD_ERROR_HANDLE, std::string("qxvnconf: ") + e.what() + "\n" + Usage());
    return 2;
  } catch (const std::exception& e) {
    Write(STD_ERROR_HANDLE, std::string("qxvnconf: ") + e.what() + "\n");
    return 1;
  }
}
