// A whole input file as read-only bytes: mapped when it is a regular file, read otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qxvn {

class MappedFile {
 public:
  // Throws ToolError "cannot read PATH: reason". Without `populate` a mapped file is read only
  // where it is touched, until Populate().
  explicit MappedFile(const std::string& path, bool populate = true);
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  std::span<const uint8_t> Bytes() const { return {m_data, m_size}; }
  const std::string& Path() const { return m_path; }
  // Whether the bytes are the file's mapping (a regular file), which can be mapped again,
  // rather than read once from a pipe or device.
  bool IsMapped() const { return m_mapping != nullptr; }
  // Reads the whole mapping in now: one pass through the file beats a fault per page.
  void Populate() const;

 private:
  std::string m_path;
  const uint8_t* m_data = nullptr;
  size_t m_size = 0;
  void* m_mapping = nullptr;
  std::vector<uint8_t> m_read;
};

}  // namespace qxvn
