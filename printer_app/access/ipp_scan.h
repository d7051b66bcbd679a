// Reads an IPP message's header and attributes byte by byte before the IPP library parses them,
// so that a request the library would choke on (collections nested thousands deep overflow its
// recursive reader) or that would cost unbounded memory is refused first. The bytes read are
// kept, for the library to parse once they passed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qxapp {

struct IppBounds {
  unsigned maxDepth = 32;         // collections inside collections
  unsigned maxAttributes = 1000;  // named attributes, members of collections included
  unsigned maxValues = 10000;     // values of all attributes
  size_t maxBytes = 1 << 20;      // the header and attributes (the document that follows is not counted)
};

enum class IppVerdict {
  kComplete,   // the end-of-attributes tag was read
  kEnded,      // the data ended (or timed out) before it
  kTooLarge,   // more than the bounds allow
  kMalformed,  // not IPP's encoding, or a value no saved state could keep
};

struct IppScanResult {
  IppVerdict verdict = IppVerdict::kEnded;
  std::string why;  // for the client, when not complete
};

// `read(n, bytes)` appends exactly `n` more bytes to `bytes`, false when it cannot. Text values
// (names, keywords, URIs, text, with or without a language) may not hold control characters:
// they would break the lines of the saved state, and no client needs them.
IppScanResult ScanIppMessage(const std::function<bool(size_t, std::string*)>& read, const IppBounds& bounds,
                             std::string* bytes);

}  // namespace qxapp
