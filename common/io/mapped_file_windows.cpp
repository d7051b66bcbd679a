// MappedFile on Windows, where the tools read small files only (.reg printer data): the whole
// file is read once rather than mapped.
#include <windows.h>

#include <string>

#include "common/io/mapped_file.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

std::wstring WidePath(const std::string& path) {
  if (path.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                              nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), out.data(), n);
  return out;
}

std::string Reason(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
      return "Access denied";
    case ERROR_SHARING_VIOLATION:
      return "the file is in use by another program";
  }
  return "error " + std::to_string(error);
}

[[noreturn]] void Fail(const std::string& path, DWORD error) {
  throw ToolError("cannot read " + path + ": " + Reason(error));
}

}  // namespace

MappedFile::MappedFile(const std::string& path, bool, size_t maxReadBytes) : m_path(path) {
  HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(path, GetLastError());
  BYTE chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
      DWORD error = GetLastError();
      CloseHandle(file);
      Fail(path, error);
    }
    if (got == 0) break;
    if (got > maxReadBytes - m_read.size()) {
      CloseHandle(file);
      throw ToolError(path + ": more than " + std::to_string(maxReadBytes) + " bytes, the most read at once");
    }
    m_read.insert(m_read.end(), chunk, chunk + got);
  }
  CloseHandle(file);
  m_data = m_read.data();
  m_size = m_read.size();
}

void MappedFile::Populate() const {}

MappedFile::~MappedFile() = default;

}  // namespace qxvn
