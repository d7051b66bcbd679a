// Strict UTF-8 to UTF-16 conversion for text that users hand in (names, .reg files), and back.
#pragma once

#include <string>
#include <string_view>

namespace qxvn {

// False at the first byte that is not part of well-formed UTF-8; `badAt` learns its index.
bool Utf8ToUtf16(std::string_view text, std::u16string* out, size_t* badAt = nullptr);
// A surrogate without its pair becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace qxvn
