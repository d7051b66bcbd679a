// The host's UTF-16 to UTF-8 conversion on Windows, where the system converts and the
// stand-in host library is not there.
#include <windows.h>

#include "host/services/host_services.h"

namespace qxhost {

std::string ToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace qxhost
