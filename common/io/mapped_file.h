// A whole input file as read-only bytes: mapped when it is a regular file, read otherwise. "-"
// is standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qxvn {

class MappedFile {
 public:
  // Most bytes read from a pipe by default: what it holds stays in memory.
  static constexpr size_t kMaxReadBytes = size_t{1} << 30;

  // Throws ToolError "cannot read PATH: reason". Without `populate` a mapped file is read only
  // where it is touched, until Populate(). A file that cannot be mapped (a pipe, a device) is
  // read whole, and refused when it holds more than `maxReadBytes`.
  explicit MappedFile(const std::string& path, bool populate = true, size_t maxReadBytes = kMaxReadBytes);
  // Bytes already in memory, held as bytes read from a pipe are: `path` only names them.
  MappedFile(std::string path, std::vector<uint8_t> bytes)
      : m_path(std::move(path)), m_data(bytes.data()), m_size(bytes.size()), m_read(std::move(bytes)) {}
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  std::span<const uint8_t> Bytes() const { return {m_data, m_size}; }
  const std::string& Path() const { return m_path; }
  // The path, or "standard input" for "-", as messages name it.
  static std::string DisplayName(const std::string& path) { return path == "-" ? "standard input" : path; }
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
