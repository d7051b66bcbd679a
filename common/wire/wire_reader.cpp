#include "common/wire/wire_reader.h"

#include <bit>
#include <cstdio>

#include "stream/commands.h"

namespace qxvn::wire {
namespace {

std::string Hex(uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

// Thrown inside the reader only; ReadStream turns it into its result.
struct StreamFault {
  Diagnostic diagnostic;
};

[[noreturn]] void Fault(size_t offset, std::string message) {
  throw StreamFault{{offset, std::move(message)}};
}

// Short number at `pos` of `bytes`, not reaching `end`; advances `pos`.
uint32_t ReadShortNumber(std::span<const uint8_t> bytes, size_t& pos, size_t end, size_t base,
                         const char* what) {
  if (pos >= end) Fault(base + pos, std::string(what) + " is missing");
  uint8_t first = bytes[pos];
  if (first < 0xC0) {
    ++pos;
    return first;
  }
  if (pos + 1 >= end) Fault(base + pos, std::string(what) + " is cut short: its second byte is missing");
  uint32_t value = (static_cast<uint32_t>(first & 0x3F) << 8) | bytes[pos + 1];
  if (value < SHORT_NUMBER_TWO_BYTES)
    Fault(base + pos, std::string(what) + " " + Hex(first) + " " + Hex(bytes[pos + 1]) +
                          " is out of range: " + std::to_string(value) + " takes one byte");
  pos += 2;
  return value;
}

class Reader {
 public:
  Reader(std::span<const uint8_t> bytes, StreamListener& listener) : m_bytes(bytes), m_listener(listener) {}

  void ReadAll() {
    size_t pos = 0;
    while (pos < m_bytes.size()) {
      Package package = ReadPackage(pos);
      bool pageEnded = Apply(package);
      m_listener.OnPackage(package);
      if (pageEnded) FinishPage(package);
      pos += package.size;
    }
    if (m_inPage)
      Fault(m_bytes.size(), "stream ends inside page " + std::to_string(m_page.number) + " (no PAGE_END)");
  }

 private:
  Package ReadPackage(size_t start) {
    const size_t n = m_bytes.size();
    if (m_bytes[start] != PACKAGE_HEAD)
      Fault(start, "expected package head 1F, found " + Hex(m_bytes[start]));
    if (start + 1 >= n) Fault(start, "truncated package: the command byte is missing");
    Package package;
    package.offset = start;
    package.command = m_bytes[start + 1];
    if (!CommandName(package.command)) Fault(start + 1, "unknown command " + Hex(package.command));
    size_t pos = start + 2;
    if (pos >= n) Fault(start, "truncated package: the length is missing");
    uint32_t length = ReadShortNumber(m_bytes, pos, n, 0, "package length");
    if (pos + length >= n)
      Fault(start, "truncated package: " + std::to_string(pos + length + 1 - n) + " of its " +
                       std::to_string(pos + length + 1 - start) + " bytes are missing");
    if (m_bytes[pos + length] != PACKAGE_TAIL)
      Fault(pos + length, "expected package tail 88, found " + Hex(m_bytes[pos + length]));
    package.payload = m_bytes.subspan(pos, length);
    package.size = pos + length + 1 - start;
    DecodePayload(package, pos);
    return package;
  }

  void ExpectLength(const Package& p, size_t payloadStart, size_t expected) {
    if (p.payload.size() != expected)
      Fault(payloadStart, std::string(CommandName(p.command)) + " carries " +
                              std::to_string(p.payload.size()) + " payload bytes, expected " +
                              std::to_string(expected));
  }

  uint32_t OnlyShortNumber(const Package& p, size_t payloadStart, const char* what) {
    size_t pos = 0;
    uint32_t value = ReadShortNumber(p.payload, pos, p.payload.size(), payloadStart, what);
    if (pos != p.payload.size())
      Fault(payloadStart + pos, std::string(CommandName(p.command)) + " has " +
                                    std::to_string(p.payload.size() - pos) + " bytes after its " + what);
    return value;
  }

  uint32_t ByteInRange(const Package& p, size_t payloadStart, uint32_t max) {
    ExpectLength(p, payloadStart, 1);
    uint32_t value = p.payload[0];
    if (value > max)
      Fault(payloadStart, std::string(CommandName(p.command)) + " " + std::to_string(value) +
                              " is out of range 0 to " + std::to_string(max));
    return value;
  }

  void DecodePayload(Package& p, size_t payloadStart) {
    switch (p.command) {
      case CMD_PAGE_BEGIN:
      case CMD_PAGE_END:
        ExpectLength(p, payloadStart, 0);
        break;
      case CMD_LINE_BYTES:
        p.first = OnlyShortNumber(p, payloadStart, "line width");
        if (p.first == 0 || p.first > kMaxLineBytes)
          Fault(payloadStart, "line width of " + std::to_string(p.first) + " bytes is out of range 1 to 72");
        break;
      case CMD_DOT_LIMITS: {
        size_t pos = 0;
        p.first = ReadShortNumber(p.payload, pos, p.payload.size(), payloadStart, "dot limit");
        size_t second = pos;
        p.second = ReadShortNumber(p.payload, pos, p.payload.size(), payloadStart, "average dot limit");
        if (pos != p.payload.size())
          Fault(payloadStart + pos,
                "DOT_LIMITS has " + std::to_string(p.payload.size() - pos) + " extra bytes");
        if (p.first > kMaxLineDots)
          Fault(payloadStart, "dot limit " + std::to_string(p.first) + " is more than a line's 576 dots");
        if (p.second > kMaxLineDots)
          Fault(payloadStart + second,
                "average dot limit " + std::to_string(p.second) + " is more than a line's 576 dots");
        break;
      }
      case CMD_DARKNESS:
        p.first = ByteInRange(p, payloadStart, 14);
        break;
      case CMD_SPEED:
        p.first = ByteInRange(p, payloadStart, 4);
        break;
      case CMD_GAP_TYPE:
        p.first = ByteInRange(p, payloadStart, 3);
        break;
      case CMD_GAP_LENGTH:
        p.first = OnlyShortNumber(p, payloadStart, "gap length");
        break;
      case CMD_FEED_LINES:
        p.first = OnlyShortNumber(p, payloadStart, "line count") + 1;
        break;
      case CMD_PRINT_LINES: {
        size_t pos = 0;
        p.first = ReadShortNumber(p.payload, pos, p.payload.size(), payloadStart, "repeat count") + 1;
        size_t indexAt = pos;
        p.second = ReadShortNumber(p.payload, pos, p.payload.size(), payloadStart, "first byte index");
        p.lineData = p.payload.subspan(pos);
        if (p.second + p.lineData.size() > kMaxLineBytes)
          Fault(payloadStart + indexAt, "print line reaches byte " +
                                            std::to_string(p.second + p.lineData.size()) +
                                            ", past the 72 bytes of a line");
        break;
      }
    }
  }

  void Warn(size_t offset, std::string message) {
    m_listener.OnWarning(m_page.number, Diagnostic{offset, std::move(message)});
  }

  void RequirePage(const Package& p) {
    if (!m_inPage) Fault(p.offset, std::string(CommandName(p.command)) + " outside a page");
  }

  void SetHeader(const Package& p, std::optional<uint32_t>& field) {
    RequirePage(p);
    if (m_linesSeen)
      Fault(p.offset, std::string(CommandName(p.command)) + " after the lines of page " +
                          std::to_string(m_page.number));
    if (field)
      Fault(p.offset,
            "second " + std::string(CommandName(p.command)) + " in page " + std::to_string(m_page.number));
    field = p.first;
  }

  // True when the package ends a page.
  bool Apply(const Package& p) {
    switch (p.command) {
      case CMD_PAGE_BEGIN:
        if (m_inPage) Fault(p.offset, "PAGE_BEGIN inside page " + std::to_string(m_page.number));
        m_page = Page{};
        m_page.number = ++m_pages;
        m_page.offset = p.offset;
        m_inPage = true;
        m_linesSeen = false;
        break;
      case CMD_LINE_BYTES:
        SetHeader(p, m_page.lineBytes);
        break;
      case CMD_DOT_LIMITS:
        SetHeader(p, m_page.maxDots);
        m_page.maxAverageDots = p.second;
        break;
      case CMD_DARKNESS:
        SetHeader(p, m_page.darkness);
        break;
      case CMD_SPEED:
        SetHeader(p, m_page.speed);
        break;
      case CMD_GAP_TYPE:
        SetHeader(p, m_page.gapType);
        break;
      case CMD_GAP_LENGTH:
        SetHeader(p, m_page.gapLength);
        if (!m_page.gapType || *m_page.gapType == 0)
          Warn(p.offset, "GAP_LENGTH without a gap type that uses it");
        break;
      case CMD_FEED_LINES:
        RequirePage(p);
        m_linesSeen = true;
        AddRun(Run{p.first, 0, {}});
        break;
      case CMD_PRINT_LINES:
        RequirePage(p);
        m_linesSeen = true;
        AddPrintRun(p);
        break;
      case CMD_PAGE_END:
        RequirePage(p);
        m_inPage = false;
        m_page.size = p.offset + p.size - m_page.offset;
        return true;
    }
    return false;
  }

  void AddRun(const Run& run) {
    m_page.runs.push_back(run);
    m_page.lines += run.lines;
  }

  void AddPrintRun(const Package& p) {
    uint32_t reach = p.second + static_cast<uint32_t>(p.lineData.size());
    if (p.lineData.empty()) Warn(p.offset, "print line without data bytes");
    if (!m_page.lineBytes)
      Warn(p.offset, "print line in a page without a line width");
    else if (reach > *m_page.lineBytes)
      Warn(p.offset, "print line reaches byte " + std::to_string(reach) + ", past the line width of " +
                         std::to_string(*m_page.lineBytes) + " bytes");
    uint32_t dots = 0;
    for (uint8_t byte : p.lineData) dots += static_cast<uint32_t>(std::popcount(byte));
    if (dots > m_page.mostDotsOnALine) m_page.mostDotsOnALine = dots;
    if (reach > m_page.widestBytes) m_page.widestBytes = reach;
    m_page.dots += static_cast<uint64_t>(dots) * p.first;
    AddRun(Run{p.first, p.second, p.lineData});
  }

  void FinishPage(const Package& end) {
    if (!m_page.maxDots)
      Warn(end.offset, "page " + std::to_string(m_page.number) + " has no DOT_LIMITS");
    else if (*m_page.maxDots != m_page.mostDotsOnALine)
      Warn(m_page.offset, "page " + std::to_string(m_page.number) + " announces at most " +
                              std::to_string(*m_page.maxDots) + " dots on a line, its lines have up to " +
                              std::to_string(m_page.mostDotsOnALine));
    m_listener.OnPageEnd(m_page);
  }

  std::span<const uint8_t> m_bytes;
  StreamListener& m_listener;
  Page m_page;
  unsigned m_pages = 0;
  bool m_inPage = false;
  bool m_linesSeen = false;
};

}  // namespace

std::optional<Diagnostic> ReadStream(std::span<const uint8_t> bytes, StreamListener& listener) {
  try {
    Reader(bytes, listener).ReadAll();
  } catch (const StreamFault& fault) {
    return fault.diagnostic;
  }
  return std::nullopt;
}

const char* CommandName(uint8_t command) {
  switch (command) {
    case CMD_PAGE_BEGIN:
      return "PAGE_BEGIN";
    case CMD_PRINT_LINES:
      return "PRINT_LINES";
    case CMD_FEED_LINES:
      return "FEED_LINES";
    case CMD_DOT_LIMITS:
      return "DOT_LIMITS";
    case CMD_LINE_BYTES:
      return "LINE_BYTES";
    case CMD_PAGE_END:
      return "PAGE_END";
    case CMD_GAP_TYPE:
      return "GAP_TYPE";
    case CMD_DARKNESS:
      return "DARKNESS";
    case CMD_SPEED:
      return "SPEED";
    case CMD_GAP_LENGTH:
      return "GAP_LENGTH";
    default:
      return nullptr;
  }
}

}  // namespace qxvn::wire
