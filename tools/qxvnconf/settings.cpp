#include "tools/qxvnconf/settings.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "common/io/utf.h"
#include "common/tool_error.h"

namespace qxvnconf {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

char16_t Fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

std::u16string Wide(std::string_view name) { return std::u16string(name.begin(), name.end()); }

const qxvn::RegValue* Find(std::span<const qxvn::RegValue> values, std::string_view name) {
  const std::u16string wide = Wide(name);
  for (const qxvn::RegValue& v : values)
    if (SameName(v.name, wide)) return &v;
  return nullptr;
}

uint32_t DwordOf(const qxvn::RegValue& value) {
  uint32_t n = 0;
  for (size_t i = 0; i < 4; ++i) n |= static_cast<uint32_t>(value.data[i]) << (8 * i);
  return n;
}

using qxlabel::ChoiceMeaning;
using qxlabel::RangeText;
using qxlabel::UnitText;
uint32_t Dots(uint32_t mm) { return qxlabel::DotsOf(mm); }

std::string TypeName(uint32_t type) {
  switch (type) {
    case 0:
      return "REG_NONE";
    case kRegSz:
      return "REG_SZ";
    case 2:
      return "REG_EXPAND_SZ";
    case kRegBinary:
      return "REG_BINARY";
    case kRegDword:
      return "REG_DWORD";
    case 5:
      return "REG_DWORD_BIG_ENDIAN";
    case 7:
      return "REG_MULTI_SZ";
    case 11:
      return "REG_QWORD";
  }
  return "type " + std::to_string(type);
}

// What keeping the value means, for the verdict of a taken value.
std::string Effect(const Setting& s, uint32_t v) {
  const std::string name(s.name);
  if (name == "GrayThreshold") return "pixels of luminance " + std::to_string(v) + " or darker print";
  if (s.unit == Unit::Millimetres) {
    if ((name == "LabelWidth" || name == "LabelHeight") && v == 0) return "no crop";
    return std::to_string(v) + " mm = " + std::to_string(Dots(v)) + " dots";
  }
  if (std::string_view meaning = ChoiceMeaning(s, v); !meaning.empty())
    return s.readEveryPage ? "sent to the printer as " + std::to_string(v) + " (" + std::string(meaning) + ")"
                           : std::string(meaning);
  return "sent to the printer as " + std::to_string(v);
}

// What the plug-in uses when it does not take a value.
std::string Fallback(const Setting& s) {
  const std::string name(s.name);
  if (name == "GrayThreshold") return "the threshold stays 150 (or one taken earlier on the same device)";
  if (name == "LabelWidth" || name == "LabelHeight") return "the band is not cropped";
  if (name == "Rotation") return "upright";
  if (s.unit == Unit::Alignment) return "the window lies at the start";
  if (s.unit == Unit::Millimetres) return "0";
  return "nothing is sent to the printer";
}

}  // namespace

std::optional<std::string> Refusal(const Setting& s, const qxvn::RegValue& value) {
  if (value.type != kRegDword)
    return "it is " + TypeName(value.type) + "; the plug-in reads only REG_DWORD values";
  if (value.data.size() != 4)
    return "a REG_DWORD must be 4 bytes, this one is " + std::to_string(value.data.size());
  return qxlabel::ValueRefusal(s, DwordOf(value));
}

Verdict Judge(const Setting& s, std::span<const qxvn::RegValue> values) {
  const qxvn::RegValue* value = Find(values, s.name);
  if (!value) return {Outcome::Absent, "absent: " + Fallback(s)};
  // The plug-in accepts any REG_DWORD that fits its 4-byte buffer; a shorter one leaves the
  // buffer's other bytes as the value read before it left them.
  if (value->type == kRegDword && value->data.size() < 4)
    return {Outcome::Taken, "unreliable: a REG_DWORD of " + std::to_string(value->data.size()) +
                                " bytes, completed by the plug-in with bytes of the value read before"};
  // Only too-large sizes are taken although refused when set: the plug-in does not check them.
  std::optional<std::string> refusal = Refusal(s, *value);
  if (refusal && !(value->type == kRegDword && value->data.size() == 4 && s.unit == Unit::Millimetres))
    return {Outcome::Ignored, "ignored, " + *refusal + ": " + Fallback(s)};
  const uint32_t v = DwordOf(*value);
  if (s.name == "GapLength") {
    const qxvn::RegValue* gapType = Find(values, "GapType");
    if (!gapType || Refusal(*FindSetting(u"GapType"), *gapType) || DwordOf(*gapType) == 0)
      return {Outcome::Ignored, "not sent: GapType is absent, ignored or 0"};
  }
  if (refusal) return {Outcome::Taken, "taken, but " + *refusal};
  return {Outcome::Taken, "taken: " + Effect(s, v)};
}

qxvn::RegValue ParseAssignment(std::string_view argument) {
  const size_t eq = argument.find('=');
  if (eq == std::string_view::npos || eq == 0)
    throw qxvn::UsageError("'" + std::string(argument) + "': expected NAME=VALUE");
  const std::string name(argument.substr(0, eq));
  const std::string text(argument.substr(eq + 1));
  qxvn::RegValue value;
  if (!qxvn::Utf8ToUtf16(name, &value.name)) throw qxvn::UsageError("'" + name + "': not valid UTF-8");
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const int base = hex ? 16 : 10;
  uint64_t number = 0;
  bool ok = !digits.empty() && digits.size() <= 10;
  for (char c : digits) {
    int d = c >= '0' && c <= '9'          ? c - '0'
            : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
            : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
    if (d < 0) ok = false;
    number = number * static_cast<uint64_t>(base) + static_cast<uint64_t>(d < 0 ? 0 : d);
  }
  if (!ok || number > 0xFFFFFFFFull)
    throw qxvn::UsageError(name + "=" + text +
                           ": the value must be a number from 0 to 4294967295 (or 0x hexadecimal)");
  value.type = kRegDword;
  value.data.resize(4);
  for (size_t i = 0; i < 4; ++i) value.data[i] = static_cast<uint8_t>(number >> (8 * i));
  return value;
}

std::vector<qxvn::RegValue> PlanChanges(std::vector<qxvn::RegValue> values, bool force,
                                        const std::string& fileName,
                                        std::span<const qxvn::RegValue> current) {
  std::vector<qxvn::RegValue> plan;
  for (qxvn::RegValue& value : values) {
    std::erase_if(plan, [&](const qxvn::RegValue& p) { return SameName(p.name, value.name); });
    plan.push_back(std::move(value));
  }
  if (force) return plan;
  for (const qxvn::RegValue& value : plan) {
    if (value.remove) continue;
    const std::string where = fileName.empty() ? "" : fileName + ":" + std::to_string(value.line) + ": ";
    const Setting* s = FindSetting(value.name);
    if (!s)
      throw qxvn::ToolError(where + "\"" + qxvn::Utf16ToUtf8(value.name) +
                            "\" is not a value the plug-in reads (see --help); --force stores it anyway");
    if (std::optional<std::string> why = Refusal(*s, value))
      throw qxvn::ToolError(where + std::string(s->name) + ": " + *why +
                            ", so the plug-in would ignore it; --force stores it anyway");
  }
  // The label as it will be: the planned values over the printer's own.
  auto after = [&](std::string_view name) -> uint32_t {
    const qxvn::RegValue* v = Find(plan, name);
    if (!v) v = Find(current, name);
    if (!v || v->remove || Refusal(*FindSetting(Wide(name)), *v)) return 0;
    return DwordOf(*v);
  };
  if (std::optional<std::string> why =
          qxlabel::AcrossHeadRefusal(after("LabelWidth"), after("LabelHeight"), after("Rotation")))
    throw qxvn::ToolError(*why + ": every line would be cut; --force stores it anyway");
  return plan;
}

std::string DescribeStored(const qxvn::RegValue& value) {
  if (value.type == kRegDword && value.data.size() == 4) return std::to_string(DwordOf(value));
  if (value.type == kRegSz && value.data.size() % 2 == 0) {
    std::u16string text;
    for (size_t i = 0; i + 1 < value.data.size(); i += 2)
      text.push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return "REG_SZ \"" + qxvn::Utf16ToUtf8(text) + "\"";
  }
  return TypeName(value.type) + " of " + std::to_string(value.data.size()) + " bytes";
}

std::string ShowTable(const std::string& printer, std::span<const qxvn::RegValue> values) {
  std::string out = "Label settings of \"" + printer + "\":\n";
  char line[512];
  std::snprintf(line, sizeof line, "  %-14s %-22s %-12s %-14s %s\n", "NAME", "STORED", "RANGE", "UNIT",
                "WHAT THE PLUG-IN MAKES OF IT");
  out += line;
  for (const Setting& s : Settings()) {
    const qxvn::RegValue* value = Find(values, s.name);
    const std::string stored = value ? DescribeStored(*value) : "-";
    std::snprintf(line, sizeof line, "  %-14s %-22s %-12s %-14s %s\n", std::string(s.name).c_str(),
                  stored.c_str(), RangeText(s).c_str(), UnitText(s.unit), Judge(s, values).text.c_str());
    out += line;
  }
  std::string others;
  for (const qxvn::RegValue& v : values)
    if (!FindSetting(v.name)) others += "  \"" + qxvn::Utf16ToUtf8(v.name) + "\" " + DescribeStored(v) + "\n";
  if (!others.empty()) out += "Other values (the plug-in does not read them):\n" + others;
  return out;
}

std::string SettingsHelp() {
  std::string out;
  char line[512];
  for (const Setting& s : Settings()) {
    std::snprintf(line, sizeof line, "  %-14s %-12s %-14s %s%s\n", std::string(s.name).c_str(),
                  RangeText(s).c_str(), UnitText(s.unit), std::string(s.meaning).c_str(),
                  s.readEveryPage ? " (read at every page)" : " (read at the start of each job)");
    out += line;
    if (!s.choices.empty()) out += std::string(33, ' ') + qxlabel::ChoicesText(s) + "\n";
  }
  return out;
}

}  // namespace qxvnconf
