#include "trace/trace.h"

namespace {

const WCHAR* const kLevelTags[] = {WSTR("NON"), WSTR("ERR"), WSTR("WRN"),
                                   WSTR("INF"), WSTR("DBG"), WSTR("VER")};

size_t FormatInto(WCHAR* out, size_t capacity, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  size_t n = FormatTraceText(out, capacity, format, args);
  va_end(args);
  return n;
}

bool IsLineEnd(WCHAR c) { return c == u'\r' || c == u'\n'; }

}  // namespace

void TraceMessage(BYTE level, BOOL completeLine, const WCHAR* format, ...) {
  WCHAR line[TRACE_LINE_CHARS];
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const WCHAR* tag = level < 6 ? kLevelTags[level] : WSTR("???");
  size_t len =
      FormatInto(line, TRACE_LINE_CHARS, WSTR("%04d-%02d-%02d %02d:%02d:%02d.%03d  [%s]  "), now.wYear,
                 now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, tag);

  // Format the message one character wider than the room left, to learn whether it was cut.
  WCHAR message[TRACE_LINE_CHARS + 1];
  va_list args;
  va_start(args, format);
  size_t msgLen = FormatTraceText(message, sizeof message / sizeof message[0], format, args);
  va_end(args);

  const size_t room = TRACE_LINE_CHARS - 1 - len;
  // The complete-line rule may add up to two characters.
  if (msgLen + (completeLine ? 2 : 0) > room) {
    // Too long for the line buffer: cut it, but keep its line end so the viewer's lines stay whole.
    WCHAR ending[2];
    size_t endLen = 0;
    if (msgLen >= 1 && IsLineEnd(message[msgLen - 1])) {
      endLen = (msgLen >= 2 && message[msgLen - 2] == u'\r' && message[msgLen - 1] == u'\n') ? 2 : 1;
      for (size_t i = 0; i < endLen; ++i) ending[i] = message[msgLen - endLen + i];
    }
    // Leave room for a CR LF that the line-end rule may add.
    size_t keep = room >= 2 ? room - 2 : 0;
    for (size_t i = 0; i < endLen; ++i) message[keep + i] = ending[i];
    msgLen = keep + endLen;
  }
  for (size_t i = 0; i < msgLen; ++i) line[len++] = message[i];

  if (completeLine && len > 0) {
    WCHAR last = line[len - 1];
    if (last == u'\n') {
      if (len >= 2 && line[len - 2] != u'\r') {
        line[len - 1] = u'\r';
        line[len++] = u'\n';
      }
    } else if (last == u'\r') {
      line[len++] = u'\n';
    } else {
      line[len++] = u'\r';
      line[len++] = u'\n';
    }
  }
  line[len] = 0;
  OutputDebugStringW(line);
}
