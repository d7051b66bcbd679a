// Walks a command's arguments: long options with "--name VALUE" or "--name=VALUE", short
// options with "-o VALUE", flags, and plain operands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qxvn {

class ArgCursor {
 public:
  ArgCursor(int argc, char** argv, int first);

  bool Done() const { return m_index >= m_args.size(); }
  // True when the next argument is an operand ("-" counts as one), and takes it.
  bool TakeOperand(std::string* operand);
  // Takes the option when the next argument names it; `shortName` may be empty.
  bool TakeValue(std::string_view longName, std::string_view shortName, std::string* value);
  bool TakeFlag(std::string_view longName, std::string_view shortName);
  // The next argument, which nothing recognised.
  [[noreturn]] void RejectCurrent() const;

 private:
  std::vector<std::string_view> m_args;
  size_t m_index = 0;
  bool m_operandsOnly = false;  // after "--"
};

// Whole decimal number in [min, max], or a UsageError naming `what`.
uint32_t ParseUnsigned(std::string_view text, uint32_t min, uint32_t max, std::string_view what);
// Decimal or 0x-hexadecimal 32-bit number; false when `text` is neither.
bool ParseDword(std::string_view text, uint32_t* value);

}  // namespace qxvn
