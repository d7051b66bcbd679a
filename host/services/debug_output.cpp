// kernel32 stand-in: debug output and local time.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "common/io/utf.h"
#include "host/services/host_services.h"
#include "host/services/host_state.h"

namespace qxhost {

namespace {
// Each rendering thread's own sink: the platform call names no device, so the thread does.
thread_local DebugSink t_debugSink;
}  // namespace

std::string ToUtf8(std::u16string_view text) { return qxvn::Utf16ToUtf8(text); }

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    auto b = static_cast<unsigned char>(text[i]);
    uint32_t c;
    size_t n;
    if (b < 0x80) {
      c = b;
      n = 1;
    } else if ((b >> 5) == 0x6) {
      c = b & 0x1F;
      n = 2;
    } else if ((b >> 4) == 0xE) {
      c = b & 0x0F;
      n = 3;
    } else if ((b >> 3) == 0x1E) {
      c = b & 0x07;
      n = 4;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (i + n > text.size()) {
      out += u'\uFFFD';
      break;
    }
    bool ok = true;
    for (size_t k = 1; k < n; ++k) {
      auto cb = static_cast<unsigned char>(text[i + k]);
      if ((cb >> 6) != 0x2) ok = false;
      c = (c << 6) | (cb & 0x3F);
    }
    i += ok ? n : 1;
    if (!ok || c > 0x10FFFF) {
      out += u'\uFFFD';
    } else if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

void SetDebugSink(DebugSink sink) {
  std::lock_guard lock(State().mutex);
  State().debugSink = std::move(sink);
}

DebugSink ExchangeThreadDebugSink(DebugSink sink) {
  DebugSink before = std::move(t_debugSink);
  t_debugSink = std::move(sink);
  return before;
}

namespace {
void WriteDebugLine(std::u16string_view line) {
  if (t_debugSink) {
    t_debugSink(line);
    return;
  }
  DebugSink sink;
  {
    std::lock_guard lock(State().mutex);
    sink = State().debugSink;
  }
  if (sink) {
    sink(line);
    return;
  }
  std::string text = ToUtf8(line);
  std::fwrite(text.data(), 1, text.size(), stderr);
}
}  // namespace

void SetFixedLocalTime(const SYSTEMTIME* time) {
  std::lock_guard lock(State().mutex);
  State().fixedTime = time ? std::optional<SYSTEMTIME>(*time) : std::nullopt;
}

}  // namespace qxhost

extern "C" void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
  if (lpOutputString) qxhost::WriteDebugLine(lpOutputString);
}

extern "C" void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime) return;
  {
    std::lock_guard lock(qxhost::State().mutex);
    if (qxhost::State().fixedTime) {
      *lpSystemTime = *qxhost::State().fixedTime;
      return;
    }
  }
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
  lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec);
  lpSystemTime->wMilliseconds = static_cast<WORD>(ms);
}
