// Takes typed values off the front of a fuzzer's input; past its end every value is 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qxfuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

  template <typename T>
  T Take() {
    T value{};
    size_t n = std::min(sizeof value, m_size - m_pos);
    std::memcpy(&value, m_data + m_pos, n);
    m_pos += n;
    return value;
  }
  // What is left, as bytes.
  std::vector<uint8_t> Rest() { return {m_data + m_pos, m_data + m_size}; }
  size_t Left() const { return m_size - m_pos; }
  const uint8_t* Here() const { return m_data + m_pos; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_pos = 0;
};

}  // namespace qxfuzz
