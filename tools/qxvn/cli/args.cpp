#include "tools/qxvn/cli/args.h"

#include <charconv>

#include "common/tool_error.h"

namespace qxvn {

ArgCursor::ArgCursor(int argc, char** argv, int first) {
  for (int i = first; i < argc; ++i) m_args.emplace_back(argv[i]);
}

bool ArgCursor::TakeOperand(std::string* operand) {
  if (Done()) return false;
  std::string_view arg = m_args[m_index];
  if (!m_operandsOnly && arg == "--") {
    m_operandsOnly = true;
    ++m_index;
    return TakeOperand(operand);
  }
  if (!m_operandsOnly && arg.size() > 1 && arg[0] == '-') return false;
  *operand = arg;
  ++m_index;
  return true;
}

bool ArgCursor::TakeValue(std::string_view longName, std::string_view shortName, std::string* value) {
  if (Done() || m_operandsOnly) return false;
  std::string_view arg = m_args[m_index];
  std::string_view name = arg;
  bool inlineValue = false;
  if (arg.starts_with("--")) {
    size_t eq = arg.find('=');
    if (eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      inlineValue = true;
    }
  }
  if (name != longName && (shortName.empty() || name != shortName)) return false;
  if (inlineValue) {
    *value = arg.substr(name.size() + 1);
    ++m_index;
    return true;
  }
  if (m_index + 1 >= m_args.size()) throw UsageError(std::string(name) + " needs a value");
  *value = m_args[m_index + 1];
  m_index += 2;
  return true;
}

bool ArgCursor::TakeFlag(std::string_view longName, std::string_view shortName) {
  if (Done() || m_operandsOnly) return false;
  std::string_view arg = m_args[m_index];
  if (arg != longName && (shortName.empty() || arg != shortName)) return false;
  ++m_index;
  return true;
}

void ArgCursor::RejectCurrent() const {
  std::string_view arg = m_args[m_index];
  if (arg.starts_with("--") && arg.find('=') != std::string_view::npos) arg = arg.substr(0, arg.find('='));
  throw UsageError("unknown option " + std::string(arg));
}

uint32_t ParseUnsigned(std::string_view text, uint32_t min, uint32_t max, std::string_view what) {
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
    throw UsageError(std::string(what) + " must be a whole number from " + std::to_string(min) + " to " +
                     std::to_string(max) + ", not '" + std::string(text) + "'");
  return value;
}

bool ParseDword(std::string_view text, uint32_t* value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty() || text[0] == '+' || text[0] == '-') return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value, base);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace qxvn
