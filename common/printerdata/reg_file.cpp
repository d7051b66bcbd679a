#include "common/printerdata/reg_file.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "common/io/mapped_file.h"
#include "common/io/utf.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

using Text = std::u16string_view;

class RegParser {
 public:
  explicit RegParser(std::string fileName) : m_fileName(std::move(fileName)) {}

  std::vector<RegValue> Parse(std::span<const uint8_t> bytes) {
    std::u16string text = Decode(bytes);
    std::vector<Text> lines = SplitLines(text);
    std::vector<RegValue> values;
    bool firstContent = true;
    for (size_t i = 0; i < lines.size(); ++i) {
      m_line = i + 1;
      Text line = Trim(lines[i]);
      if (line.empty() || line[0] == u';') continue;
      bool isFirst = firstContent;
      firstContent = false;
      if (line == u"Windows Registry Editor Version 5.00" || line == u"REGEDIT4") {
        if (!isFirst) Fail("the file header may only be the first line");
        continue;
      }
      if (line[0] == u'[') {
        if (line.back() != u']') Fail("a key line must end with ']'");
        continue;
      }
      if (line[0] != u'"' && line[0] != u'@')
        Fail("expected a key [PATH], a value \"NAME\"=DATA, or a comment starting with ';'");
      values.push_back(ParseValue(line, lines, i));
    }
    return values;
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const {
    throw ToolError(m_fileName + ":" + std::to_string(m_line) + ": " + message);
  }

  std::u16string Decode(std::span<const uint8_t> bytes) {
    m_line = 1;
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
      if (bytes.size() % 2 != 0) throw ToolError(m_fileName + ": UTF-16LE text with an odd number of bytes");
      std::u16string text((bytes.size() - 2) / 2, u'\0');
      for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8));
      return text;
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
      throw ToolError(m_fileName + ": UTF-16 big-endian text is not supported; save it as UTF-16LE or UTF-8");
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
      bytes = bytes.subspan(3);
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (raw.find('\0') != std::string_view::npos)
      throw ToolError(m_fileName + ": not UTF-8 text (UTF-16 needs its byte order mark)");
    std::u16string text;
    size_t badAt = 0;
    if (!Utf8ToUtf16(raw, &text, &badAt)) {
      m_line = 1 + static_cast<size_t>(std::count(raw.begin(), raw.begin() + static_cast<long>(badAt), '\n'));
      Fail("not valid UTF-8 text");
    }
    return text;
  }

  static std::vector<Text> SplitLines(const std::u16string& text) {
    std::vector<Text> lines;
    Text rest = text;
    while (!rest.empty()) {
      size_t end = rest.find(u'\n');
      Text line = rest.substr(0, end);
      if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
      lines.push_back(line);
      if (end == Text::npos) break;
      rest.remove_prefix(end + 1);
    }
    return lines;
  }

  static Text Trim(Text text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
    return text;
  }

  // A quoted string at the start of `text`, with \\ and \" unescaped; advances past it.
  std::u16string Quoted(Text& text, const char* what) {
    std::u16string out;
    size_t i = 1;
    for (; i < text.size() && text[i] != u'"'; ++i) {
      if (text[i] == u'\\') {
        if (i + 1 >= text.size() || (text[i + 1] != u'\\' && text[i + 1] != u'"'))
          Fail(std::string("only \\\\ and \\\" may follow a backslash in a ") + what);
        ++i;
      }
      out.push_back(text[i]);
    }
    if (i >= text.size()) Fail(std::string("the ") + what + " has no closing quote");
    text.remove_prefix(i + 1);
    return out;
  }

  static int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  }

  // 1 to `maxDigits` hex digits making up all of `text`.
  bool HexNumber(Text text, size_t maxDigits, uint32_t* value) {
    if (text.empty() || text.size() > maxDigits) return false;
    *value = 0;
    for (char16_t c : text) {
      int d = HexDigit(c);
      if (d < 0) return false;
      *value = (*value << 4) | static_cast<uint32_t>(d);
    }
    return true;
  }

  RegValue ParseValue(Text line, const std::vector<Text>& lines, size_t& index) {
    RegValue value;
    value.line = m_line;
    if (line[0] == u'@') {
      line.remove_prefix(1);
    } else {
      value.name = Quoted(line, "value name");
    }
    line = Trim(line);
    if (line.empty() || line[0] != u'=') Fail("expected '=' after the value name");
    line = Trim(line.substr(1));

    if (line == u"-") {
      value.remove = true;
      return value;
    }
    if (!line.empty() && line[0] == u'"') {
      std::u16string text = Quoted(line, "string value");
      if (!Trim(line).empty()) Fail("unexpected text after the closing quote");
      value.type = kRegSz;
      for (char16_t c : text) {
        value.data.push_back(static_cast<uint8_t>(c & 0xFF));
        value.data.push_back(static_cast<uint8_t>(c >> 8));
      }
      value.data.push_back(0);
      value.data.push_back(0);
      return value;
    }
    if (line.starts_with(u"dword:")) {
      uint32_t number = 0;
      if (!HexNumber(line.substr(6), 8, &number)) Fail("dword: takes 1 to 8 hexadecimal digits");
      value.type = kRegDword;
      value.data.resize(4);
      for (int i = 0; i < 4; ++i) value.data[i] = static_cast<uint8_t>(number >> (8 * i));
      return value;
    }
    if (line.starts_with(u"hex")) {
      ParseHex(line.substr(3), lines, index, value);
      return value;
    }
    Fail("expected dword:XXXXXXXX, hex:.., hex(N):.., a quoted string or -");
  }

  void ParseHex(Text rest, const std::vector<Text>& lines, size_t& index, RegValue& value) {
    value.type = kRegBinary;
    if (!rest.empty() && rest[0] == u'(') {
      size_t close = rest.find(u')');
      if (close == Text::npos || !HexNumber(rest.substr(1, close - 1), 8, &value.type))
        Fail("hex(N) takes a type of 1 to 8 hexadecimal digits");
      rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest[0] != u':') Fail("expected ':' after hex");
    rest.remove_prefix(1);

    // A line ending in a backslash goes on in the next line, as regedit wraps long values.
    std::u16string joined(Trim(rest));
    while (!joined.empty() && joined.back() == u'\\') {
      joined.pop_back();
      if (index + 1 >= lines.size()) Fail("the value goes on past the end of the file");
      joined += Trim(lines[++index]);
    }
    Text list = Trim(joined);
    if (list.empty()) return;
    while (true) {
      size_t comma = list.find(u',');
      Text item = Trim(list.substr(0, comma));
      uint32_t byte = 0;
      if (!HexNumber(item, 2, &byte)) {
        if (comma == Text::npos && item.empty()) break;  // a trailing comma
        Fail("hex data must be bytes of two hexadecimal digits separated by commas");
      }
      value.data.push_back(static_cast<uint8_t>(byte));
      if (comma == Text::npos) break;
      list.remove_prefix(comma + 1);
    }
  }

  std::string m_fileName;
  size_t m_line = 0;
};

}  // namespace

std::vector<RegValue> ParseRegFile(std::span<const uint8_t> bytes, const std::string& fileName) {
  return RegParser(fileName).Parse(bytes);
}

std::vector<RegValue> ReadRegFile(const std::string& path) {
  MappedFile file(path);
  return ParseRegFile(file.Bytes(), path);
}

}  // namespace qxvn
