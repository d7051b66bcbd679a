#include "printer_app/access/ipp_scan.h"

#include <cstdint>

namespace qxapp {
namespace {

constexpr uint8_t kEndOfAttributes = 0x03;
constexpr uint8_t kFirstValueTag = 0x10;
constexpr uint8_t kExtensionTag = 0x7f;
constexpr uint8_t kBeginCollection = 0x34;
constexpr uint8_t kEndCollection = 0x37;
constexpr uint8_t kMemberName = 0x4a;

bool IsTextTag(uint32_t tag) { return (tag >= 0x41 && tag <= 0x49) || tag == kMemberName; }
bool IsTextWithLanguageTag(uint32_t tag) { return tag == 0x35 || tag == 0x36; }

bool HasControl(const char* text, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

class Reader {
 public:
  Reader(const std::function<bool(size_t, std::string*)>& read, std::string* bytes)
      : m_read(read), m_bytes(bytes) {}
  // The next `n` bytes' offset in `bytes`, or false.
  bool Take(size_t n, size_t* at) {
    *at = m_bytes->size();
    return n == 0 || m_read(n, m_bytes);
  }
  unsigned Byte(size_t at) const { return static_cast<unsigned char>((*m_bytes)[at]); }
  unsigned Short(size_t at) const { return Byte(at) << 8 | Byte(at + 1); }
  const char* Data(size_t at) const { return m_bytes->data() + at; }
  size_t Size() const { return m_bytes->size(); }

 private:
  const std::function<bool(size_t, std::string*)>& m_read;
  std::string* m_bytes;
};

IppScanResult Verdict(IppVerdict verdict, std::string why) { return {verdict, std::move(why)}; }

}  // namespace

IppScanResult ScanIppMessage(const std::function<bool(size_t, std::string*)>& read, const IppBounds& bounds,
                             std::string* bytes) {
  Reader in(read, bytes);
  size_t at = 0;
  if (!in.Take(8, &at)) return Verdict(IppVerdict::kEnded, "the request ended in its header");
  unsigned depth = 0, attributes = 0, values = 0;
  std::string name;  // the attribute being read, for messages
  while (true) {
    if (in.Size() > bounds.maxBytes)
      return Verdict(IppVerdict::kTooLarge,
                     "the request's attributes take more than " + std::to_string(bounds.maxBytes) + " bytes");
    if (!in.Take(1, &at))
      return Verdict(IppVerdict::kEnded, "the request ended before its end-of-attributes tag");
    uint32_t tag = in.Byte(at);
    if (tag == kEndOfAttributes) {
      if (depth > 0) return Verdict(IppVerdict::kMalformed, "a collection of " + name + " is not ended");
      return {IppVerdict::kComplete, ""};
    }
    if (tag < kFirstValueTag) {
      if (tag == 0 || depth > 0) return Verdict(IppVerdict::kMalformed, "a bad group tag");
      continue;
    }
    if (tag == kExtensionTag) {
      if (!in.Take(4, &at)) return Verdict(IppVerdict::kEnded, "the request ended in a tag");
      tag = uint32_t{in.Byte(at)} << 24 | in.Byte(at + 1) << 16 | in.Byte(at + 2) << 8 | in.Byte(at + 3);
      if (tag > 0x7fffffff) return Verdict(IppVerdict::kMalformed, "a bad extension tag");
    }
    if (!in.Take(2, &at)) return Verdict(IppVerdict::kEnded, "the request ended in an attribute");
    const unsigned nameLength = in.Short(at);
    if (!in.Take(nameLength, &at)) return Verdict(IppVerdict::kEnded, "the request ended in an attribute");
    if (nameLength > 0) {
      name.assign(in.Data(at), nameLength);
      if (HasControl(name.data(), name.size()))
        return Verdict(IppVerdict::kMalformed, "an attribute name holds control characters");
      if (++attributes > bounds.maxAttributes)
        return Verdict(IppVerdict::kTooLarge,
                       "the request has more than " + std::to_string(bounds.maxAttributes) + " attributes");
    } else if (name.empty()) {
      return Verdict(IppVerdict::kMalformed, "a value without an attribute");
    }
    if (!in.Take(2, &at)) return Verdict(IppVerdict::kEnded, "the request ended in a value");
    const unsigned valueLength = in.Short(at);
    if (!in.Take(valueLength, &at)) return Verdict(IppVerdict::kEnded, "the request ended in a value");
    if (++values > bounds.maxValues)
      return Verdict(IppVerdict::kTooLarge,
                     "the request has more than " + std::to_string(bounds.maxValues) + " values");

    if (tag == kBeginCollection) {
      if (++depth > bounds.maxDepth)
        return Verdict(IppVerdict::kTooLarge,
                       name + ": collections nested more than " + std::to_string(bounds.maxDepth) + " deep");
    } else if (tag == kEndCollection) {
      if (depth == 0) return Verdict(IppVerdict::kMalformed, "a collection end without its start");
      --depth;
    } else if (IsTextTag(tag)) {
      if (HasControl(in.Data(at), valueLength))
        return Verdict(IppVerdict::kMalformed, name + ": control characters are not allowed in its value");
      if (tag == kMemberName) {
        name.assign(in.Data(at), valueLength);
        if (++attributes > bounds.maxAttributes)
          return Verdict(IppVerdict::kTooLarge,
                         "the request has more than " + std::to_string(bounds.maxAttributes) + " attributes");
      }
    } else if (IsTextWithLanguageTag(tag)) {
      // Two counted strings: the language and the text.
      size_t offset = 0;
      for (int part = 0; part < 2; ++part) {
        if (offset + 2 > valueLength) return Verdict(IppVerdict::kMalformed, name + ": a bad text value");
        const size_t length = in.Short(at + offset);
        if (offset + 2 + length > valueLength)
          return Verdict(IppVerdict::kMalformed, name + ": a bad text value");
        if (HasControl(in.Data(at + offset + 2), length))
          return Verdict(IppVerdict::kMalformed, name + ": control characters are not allowed in its value");
        offset += 2 + length;
      }
    }
  }
}

}  // namespace qxapp
