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

// Characters of the line end a text finishes with: CR LF, a lone LF or CR, or none.
size_t LineEndLength(const TraceTextEnd& end) {
  if (end.fullLength >= 2 && end.last[0] == u'\r' && end.last[1] == u'\n') return 2;
  if (end.fullLength >= 1 && (end.last[1] == u'\r' || end.last[1] == u'\n')) return 1;
  return 0;
}

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

void TraceMessage(BYTE level, BOOL completeLine, const WCHAR* format, ...) {
  WCHAR line[TRACE_LINE_CHARS];
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const WCHAR* tag = level < 6 ? kLevelTags[level] : WSTR("???");
  size_t len =
      FormatInto(line, TRACE_LINE_CHARS, WSTR("%04d-%02d-%02d %02d:%02d:%02d.%03d  [%s]  "), now.wYear,
                 now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, tag);

  TraceTextEnd end;
  va_list args;
  va_start(args, format);
  FormatTraceText(line + len, TRACE_LINE_CHARS - len, format, args, &end);
  va_end(args);

  // The message is its body and its own line end. A complete line always ends in CR LF: a lone
  // LF or CR is completed, a missing end added. Otherwise the line end stays as written.
  const size_t ownEnd = LineEndLength(end);
  const WCHAR* lineEnd = completeLine ? WSTR("\r\n") : (ownEnd == 2 ? WSTR("\r\n") : end.last + 1);
  const size_t lineEndLength = completeLine ? 2 : ownEnd;

  // A message too long for the buffer loses the end of its body, never its line end, so the
  // viewer's lines stay whole. The body's characters up to `room` were all written.
  const size_t room = TRACE_LINE_CHARS - 1 - len - lineEndLength;
  size_t body = end.fullLength - ownEnd;
  if (body > room) {
    body = room;
    // Do not leave half of a surrogate pair behind.
    if (body > 0 && IsHighSurrogate(line[len + body - 1])) --body;
  }
  len += body;
  for (size_t i = 0; i < lineEndLength; ++i) line[len++] = lineEnd[i];
  line[len] = 0;
  OutputDebugStringW(line);
}
