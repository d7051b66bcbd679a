#include <cstdint>

#include "trace/trace.h"

namespace {

// Collects formatted characters into a bounded buffer; characters past the end are dropped.
class BoundedWriter {
 public:
  BoundedWriter(WCHAR* out, size_t capacity) : m_out(out), m_limit(capacity ? capacity - 1 : 0) {}
  void Put(WCHAR c) {
    if (m_len < m_limit) m_out[m_len++] = c;
  }
  void Repeat(WCHAR c, size_t n) {
    while (n--) Put(c);
  }
  size_t Finish() {
    if (m_out) m_out[m_len] = 0;
    return m_len;
  }

 private:
  WCHAR* m_out;
  size_t m_limit;
  size_t m_len = 0;
};

struct Spec {
  bool leftAlign = false;
  bool zeroPad = false;
  size_t width = 0;
};

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

size_t FormatTraceText(WCHAR* out, size_t capacity, const WCHAR* format, va_list args) {
  BoundedWriter w(out, capacity);
  if (!format) return w.Finish();
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
    while (*p >= u'0' && *p <= u'9') spec.width = spec.width * 10 + static_cast<size_t>(*p++ - u'0');
    if (spec.width > TRACE_LINE_CHARS) spec.width = TRACE_LINE_CHARS;
    bool wide64 = false;
    while (*p == u'h' || *p == u'l') {
      if (*p == u'l' && p[1] == u'l') {
        wide64 = true;
        ++p;
      }
      ++p;
    }
    WCHAR num[24];
    WCHAR* numEnd = num + 24;
    switch (*p) {
      case u'd':
      case u'i': {
        int64_t v = wide64 ? va_arg(args, long long) : va_arg(args, int);
        uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        size_t n = ToDigits(mag, 10, false, numEnd);
        if (v < 0) numEnd[-static_cast<ptrdiff_t>(++n)] = u'-';
        PutField(w, spec, numEnd - n, n, true);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        uint64_t v = wide64 ? va_arg(args, unsigned long long) : va_arg(args, unsigned int);
        size_t n = ToDigits(v, *p == u'u' ? 10 : 16, *p == u'X', numEnd);
        PutField(w, spec, numEnd - n, n, true);
        break;
      }
      case u'c': {
        WCHAR c = static_cast<WCHAR>(va_arg(args, int));
        PutField(w, spec, &c, 1, false);
        break;
      }
      case u'C': {
        WCHAR c = static_cast<WCHAR>(static_cast<unsigned char>(va_arg(args, int)));
        PutField(w, spec, &c, 1, false);
        break;
      }
      case u's': {
        const WCHAR* s = va_arg(args, const WCHAR*);
        if (!s) s = WSTR("(null)");
        size_t n = 0;
        while (s[n] && n < TRACE_LINE_CHARS) ++n;
        PutField(w, spec, s, n, false);
        break;
      }
      case u'S': {
        const char* s = va_arg(args, const char*);
        if (!s) s = "(null)";
        WCHAR tmp[TRACE_LINE_CHARS];
        size_t n = 0;
        while (s[n] && n < TRACE_LINE_CHARS) {
          tmp[n] = static_cast<WCHAR>(static_cast<unsigned char>(s[n]));
          ++n;
        }
        PutField(w, spec, tmp, n, false);
        break;
      }
      case u'%':
        w.Put(u'%');
        break;
      case 0:
        // A lone '%' at the end: nothing more to read.
        return w.Finish();
      default:
        // Unknown conversion: shown as written, no argument consumed.
        w.Put(u'%');
        w.Put(*p);
        break;
    }
  }
  return w.Finish();
}
