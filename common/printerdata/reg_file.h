// Printer data values from a Windows registry export (.reg) as regedit writes it: UTF-16LE
// with a byte order mark, or UTF-8. Every value of the file counts, whatever key it is under;
// a later value of the same name wins.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qxvn {

struct RegValue {
  std::u16string name;  // empty for the key's default value "@"
  bool remove = false;  // "NAME"=- deletes the value
  uint32_t type = 0;    // REG_SZ, REG_BINARY, REG_DWORD or the N of hex(N)
  std::vector<uint8_t> data;
  size_t line = 0;
};

// Values in file order. A malformed line throws ToolError "FILE:LINE: what is wrong".
std::vector<RegValue> ParseRegFile(std::span<const uint8_t> bytes, const std::string& fileName);
std::vector<RegValue> ReadRegFile(const std::string& path);

}  // namespace qxvn
