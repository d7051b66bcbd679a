#include "tools/qxvnconf/reg_export.h"

#include <cstdio>

namespace qxvnconf {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
// regedit keeps hex lines within 80 columns; this many bytes a line stays well inside.
constexpr size_t kBytesPerLine = 24;

std::u16string Ascii(const char* text) {
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string Escaped(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}

// A REG_SZ that reads back as a quoted string: UTF-16 ending in one NUL, no other NUL, and no
// line break (a quoted string cannot span lines).
bool AsQuotedText(const qxvn::RegValue& value, std::u16string* text) {
  if (value.type != kRegSz || value.data.size() < 2 || value.data.size() % 2 != 0) return false;
  text->clear();
  for (size_t i = 0; i < value.data.size(); i += 2)
    text->push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
  if (text->back() != u'\0') return false;
  text->pop_back();
  for (char16_t c : *text)
    if (c == u'\0' || c == u'\r' || c == u'\n') return false;
  return true;
}

std::u16string Data(const qxvn::RegValue& value) {
  std::u16string text;
  if (AsQuotedText(value, &text)) {
    // Appended piece by piece: GCC 12 misreads chains of string additions (-Wrestrict).
    std::u16string quoted(1, u'"');
    quoted.append(Escaped(text)).push_back(u'"');
    return quoted;
  }
  char buffer[32];
  if (value.type == kRegDword && value.data.size() == 4) {
    uint32_t n = 0;
    for (size_t i = 0; i < 4; ++i) n |= static_cast<uint32_t>(value.data[i]) << (8 * i);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", n);
    return Ascii(buffer);
  }
  if (value.type == kRegBinary) {
    text = u"hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
    text = Ascii(buffer);
  }
  for (size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", value.data[i]);
    text += Ascii(buffer);
    if (i + 1 < value.data.size()) text += (i + 1) % kBytesPerLine == 0 ? u",\\\r\n  " : u",";
  }
  return text;
}

}  // namespace

std::vector<uint8_t> ExportRegFile(const std::u16string& printer, std::span<const qxvn::RegValue> values) {
  // A key name cannot hold a backslash: the spooler keeps "\\server\printer" as ",,server,printer".
  std::u16string key = printer;
  for (char16_t& c : key)
    if (c == u'\\') c = u',';
  std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n";
  text.append(u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\");
  text.append(key).append(u"\\PrinterDriverData]\r\n");
  for (const qxvn::RegValue& value : values) {
    if (value.remove) continue;
    if (value.name.empty())
      text.push_back(u'@');
    else
      text.append(u"\"").append(Escaped(value.name)).append(u"\"");
    text.append(u"=").append(Data(value)).append(u"\r\n");
  }
  text += u"\r\n";
  std::vector<uint8_t> bytes{0xFF, 0xFE};
  bytes.reserve(2 + 2 * text.size());
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  return bytes;
}

}  // namespace qxvnconf
