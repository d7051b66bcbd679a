// Timestamped, levelled debug trace, handed line by line to the debugger output.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/win_types.h"

#define TRACE_NON 0
#define TRACE_ERR 1
#define TRACE_WRN 2
#define TRACE_INF 3
#define TRACE_DBG 4
#define TRACE_VER 5

// One trace line, wide characters, terminator included.
constexpr size_t TRACE_LINE_CHARS = 1024;

void TraceMessage(BYTE level, BOOL completeLine, const WCHAR* format, ...);

// What a formatted text would have been without the buffer limit.
struct TraceTextEnd {
  size_t fullLength = 0;  // characters of the whole text, written or dropped
  WCHAR last[2] = {};     // its last two characters, last[1] the very last; 0 where there are fewer
};

// Formats like the C runtime's swprintf for the conversions the trace uses
// (%d %i %u %x %X %c %C %s %S %%, with flags '-', '0', a width, and the size prefixes h, l, ll;
// h before c or s means a narrow character or string, l a wide one).
// Writes at most `capacity` - 1 characters and a terminator; returns the characters written.
// `end`, when given, learns the untruncated length and last characters.
size_t FormatTraceText(WCHAR* out, size_t capacity, const WCHAR* format, va_list args,
                       TraceTextEnd* end = nullptr);
