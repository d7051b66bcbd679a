// Every byte a job has sent to its device so far, kept in an unnamed temporary file so that a
// job of any size can be sent again from its start on a fresh connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace qxapp {

class JobBytes {
 public:
  JobBytes() = default;
  ~JobBytes();
  JobBytes(const JobBytes&) = delete;
  JobBytes& operator=(const JobBytes&) = delete;

  // False with the reason when the temporary file cannot be made or written.
  bool Append(const void* data, size_t size, std::string* why);
  // Calls `chunk` on the bytes in order, a part at a time, until it returns false; false then
  // (or when the file cannot be read, with the reason).
  bool Replay(const std::function<bool(const uint8_t*, size_t)>& chunk, std::string* why) const;
  uint64_t Size() const { return m_size; }
  // Forgets the bytes: the next job starts empty.
  void Clear();

 private:
  int m_fd = -1;
  uint64_t m_size = 0;
};

}  // namespace qxapp
