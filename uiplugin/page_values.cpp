#include "uiplugin/page_values.h"

#include "settings/label_settings.h"

namespace qxui {
namespace {

std::u16string Trimmed(const std::u16string& text) {
  const size_t b = text.find_first_not_of(u" \t");
  if (b == std::u16string::npos) return {};
  return text.substr(b, text.find_last_not_of(u" \t") - b + 1);
}

// A decimal number of 32 bits, or nothing.
std::optional<uint32_t> Number(const std::u16string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t n = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + static_cast<uint64_t>(c - u'0');
  }
  if (n > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<uint32_t>(n);
}

}  // namespace

PageCheck CheckPage(std::span<const std::u16string> texts) {
  PageCheck check;
  const auto settings = qxlabel::LabelSettings();
  if (texts.size() != settings.size()) {
    check.error = "the page has " + std::to_string(texts.size()) + " rows, the table " +
                  std::to_string(settings.size());
    return check;
  }
  for (size_t i = 0; i < settings.size(); ++i) {
    const qxlabel::Setting& s = settings[i];
    const std::u16string text = Trimmed(texts[i]);
    if (text.empty()) {
      check.values.push_back(std::nullopt);
      continue;
    }
    const std::optional<uint32_t> v = Number(text);
    if (!v) {
      check.error = std::string(s.caption) + ": not a whole number from " +
                    (s.max == qxlabel::kAnyValue ? "0 to 4294967295" : qxlabel::RangeText(s));
      break;
    }
    if (std::optional<std::string> why = qxlabel::ValueRefusal(s, *v)) {
      check.error = std::string(s.caption) + ": " + *why;
      break;
    }
    check.values.push_back(v);
  }
  if (check.error.empty()) {
    auto valueOf = [&](std::string_view name) -> uint32_t {
      for (size_t i = 0; i < settings.size(); ++i)
        if (settings[i].name == name) return check.values[i].value_or(0);
      return 0;
    };
    if (std::optional<std::string> why =
            qxlabel::AcrossHeadRefusal(valueOf("LabelWidth"), valueOf("LabelHeight"), valueOf("Rotation")))
      check.error = *why;
  }
  if (!check.error.empty()) check.values.clear();
  return check;
}

}  // namespace qxui
