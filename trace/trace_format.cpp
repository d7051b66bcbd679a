#include <cstdint>

#include "trace/trace.h"

namespace {

// Collects formatted characters into a bounded buffer. Characters past the end are dropped,
// but still counted, and the last two are remembered, so a caller can cut a line knowingly.
class BoundedWriter {
 public:
  BoundedWriter(WCHAR* out, size_t capacity)
      : m_out(capacity ? out : nullptr), m_limit(out && capacity ? capacity - 1 : 0) {}
  void Put(WCHAR c) {
    if (m_len < m_limit) m_out[m_len++] = c;
    ++m_total;
    m_last[0] = m_last[1];
    m_last[1] = c;
  }
  void Repeat(WCHAR c, size_t n) {
    while (n--) Put(c);
  }
  size_t Finish(TraceTextEnd* end) {
    // A buffer of one character still gets its terminator.
    if (m_out) m_out[m_len] = 0;
    if (end) {
      end->fullLength = m_total;
      end->last[0] = m_last[0];
      end->last[1] = m_last[1];
    }
    return m_len;
  }

 private:
  WCHAR* m_out;
  size_t m_limit;
  size_t m_len = 0;
  size_t m_total = 0;
  WCHAR m_last[2] = {};
};

struct Spec {
  bool leftAlign = false;
  bool zeroPad = false;
  size_t width = 0;
};

enum class Size { Default, Short, Long, LongLong };

void PutField(BoundedWriter& w, const Spec& spec, const WCHAR* text, size_t len, bool numeric) {
  size_t pad = spec.width > len ? spec.width - len : 0;
  if (spec.leftAlign) {
    for (size_t i = 0; i < len; ++i) w.Put(text[i]);
    w.Repeat(u' ', pad);
    return;
  }
  if (spec.zeroPad && numeric) {
    size_t i = 0;
    if (len && text[0] == u'-') w.Put(text[i++]);
    w.Repeat(u'0', pad);
    for (; i < len; ++i) w.Put(text[i]);
    return;
  }
  w.Repeat(u' ', pad);
  for (size_t i = 0; i < len; ++i) w.Put(text[i]);
}

// A string argument, wide or narrow, padded as a field.
template <typename Char>
void PutString(BoundedWriter& w, const Spec& spec, const Char* s) {
  static const Char kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
  if (!s) s = kNull;
  size_t n = 0;
  while (s[n]) ++n;
  size_t pad = spec.width > n ? spec.width - n : 0;
  if (!spec.leftAlign) w.Repeat(u' ', pad);
  for (size_t i = 0; i < n; ++i) {
    if constexpr (sizeof(Char) == 1)
      w.Put(static_cast<WCHAR>(static_cast<unsigned char>(s[i])));
    else
      w.Put(static_cast<WCHAR>(s[i]));
  }
  if (spec.leftAlign) w.Repeat(u' ', pad);
}

size_t ToDigits(uint64_t value, unsigned base, bool upper, WCHAR* end) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  size_t n = 0;
  do {
    *--end = static_cast<WCHAR>(digits[value % base]);
    value /= base;
    ++n;
  } while (value);
  return n;
}

}  // namespace

size_t FormatTraceText(WCHAR* out, size_t capacity, const WCHAR* format, va_list args, TraceTextEnd* end) {
  BoundedWriter w(out, capacity);
  if (!format) return w.Finish(end);
  for (const WCHAR* p = format; *p; ++p) {
    if (*p != u'%') {
      w.Put(*p);
      continue;
    }
    ++p;
    Spec spec;
    for (;; ++p) {
      if (*p == u'-')
        spec.leftAlign = true;
      else if (*p == u'0')
        spec.zeroPad = true;
      else
        break;
    }
    while (*p >= u'0' && *p <= u'9') {
      spec.width = spec.width * 10 + static_cast<size_t>(*p++ - u'0');
      if (spec.width > TRACE_LINE_CHARS) spec.width = TRACE_LINE_CHARS;
    }
    // Sizes as the Windows C runtime reads them: long is 32-bit, only ll is 64-bit.
    Size size = Size::Default;
    if (*p == u'h') {
      size = Size::Short;
      ++p;
    } else if (*p == u'l') {
      ++p;
      size = Size::Long;
      if (*p == u'l') {
        size = Size::LongLong;
        ++p;
      }
    }
    WCHAR num[24];
    WCHAR* numEnd = num + 24;
    switch (*p) {
      case u'd':
      case u'i': {
        int64_t v = size == Size::LongLong ? va_arg(args, long long) : va_arg(args, int);
        if (size == Size::Short) v = static_cast<int16_t>(v);
        uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        size_t n = ToDigits(mag, 10, false, numEnd);
        if (v < 0) numEnd[-static_cast<ptrdiff_t>(++n)] = u'-';
        PutField(w, spec, numEnd - n, n, true);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        uint64_t v = size == Size::LongLong ? va_arg(args, unsigned long long) : va_arg(args, unsigned int);
        if (size == Size::Short) v = static_cast<uint16_t>(v);
        size_t n = ToDigits(v, *p == u'u' ? 10 : 16, *p == u'X', numEnd);
        PutField(w, spec, numEnd - n, n, true);
        break;
      }
      case u'c':
      case u'C': {
        // In the wide functions %c is a wide character and %C a narrow one; h and l override.
        bool narrow = size == Size::Short || (*p == u'C' && size != Size::Long);
        int arg = va_arg(args, int);
        WCHAR c = narrow ? static_cast<WCHAR>(static_cast<unsigned char>(arg)) : static_cast<WCHAR>(arg);
        PutField(w, spec, &c, 1, false);
        break;
      }
      case u's':
      case u'S': {
        bool narrow = size == Size::Short || (*p == u'S' && size != Size::Long);
        if (narrow)
          PutString(w, spec, va_arg(args, const char*));
        else
          PutString(w, spec, va_arg(args, const WCHAR*));
        break;
      }
      case u'%':
        w.Put(u'%');
        break;
      case 0:
        // A lone '%' at the end: nothing more to read.
        return w.Finish(end);
      default:
        // Unknown conversion: shown as written, no argument consumed.
        w.Put(u'%');
        w.Put(*p);
        break;
    }
  }
  return w.Finish(end);
}
