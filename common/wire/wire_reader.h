// Reads a command stream the way a printer would, independently of the code that writes it:
// every package is framed and decoded, every page is checked for order and ranges. The first
// violation stops the reading and is returned with its byte offset; what a printer would
// accept but not expect is reported as a warning and reading goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qxvn::wire {

// Dots and bytes of one printed line as the printer takes it.
constexpr uint32_t kMaxLineBytes = 72;
constexpr uint32_t kMaxLineDots = kMaxLineBytes * 8;

struct Package {
  size_t offset = 0;  // of the head byte
  size_t size = 0;    // head to tail, both included
  uint8_t command = 0;
  std::span<const uint8_t> payload;
  // Decoded fields: the value of LINE_BYTES, DARKNESS, SPEED, GAP_TYPE, GAP_LENGTH; the most
  // dots and the 35-line average of DOT_LIMITS; the line count of FEED_LINES; the line count
  // and first byte index of PRINT_LINES.
  uint32_t first = 0;
  uint32_t second = 0;
  std::span<const uint8_t> lineData;  // PRINT_LINES only
};

// Consecutive equal lines of a page; blank when `data` is empty.
struct Run {
  uint32_t lines = 0;
  uint32_t firstByte = 0;
  std::span<const uint8_t> data;
};

struct Page {
  unsigned number = 0;
  size_t offset = 0;
  size_t size = 0;  // bytes from PAGE_BEGIN to PAGE_END, both included
  std::optional<uint32_t> lineBytes;
  std::optional<uint32_t> maxDots;
  std::optional<uint32_t> maxAverageDots;
  std::optional<uint32_t> darkness, speed, gapType, gapLength;
  std::vector<Run> runs;
  uint64_t lines = 0;
  uint64_t dots = 0;
  uint32_t mostDotsOnALine = 0;
  uint32_t widestBytes = 0;  // bytes reached by the widest print line
};

struct Diagnostic {
  size_t offset = 0;
  std::string message;
};

class StreamListener {
 public:
  virtual ~StreamListener() = default;
  virtual void OnPackage(const Package& package) { (void)package; }
  virtual void OnPageEnd(const Page& page) { (void)page; }
  virtual void OnWarning(unsigned page, const Diagnostic& warning) {
    (void)page;
    (void)warning;
  }
};

// Returns the first error, or nothing when the whole stream is valid.
std::optional<Diagnostic> ReadStream(std::span<const uint8_t> bytes, StreamListener& listener);

// "PAGE_BEGIN", "PRINT_LINES"...; null for a byte that is no command.
const char* CommandName(uint8_t command);

}  // namespace qxvn::wire
