#include "tests/win/harness/debug_trace.h"

#include <cstdio>
#include <vector>

#include "tests/win/harness/spooler.h"

namespace qxwin {

namespace {

// A debug string of the child: Wine hands OutputDebugStringW over in the ANSI code page, as
// Windows does to debuggers that do not ask for wide strings; either kind becomes UTF-8.
std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  const size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
  std::vector<char> bytes(static_cast<size_t>(info.nDebugStringLength) * unit);
  SIZE_T read = 0;
  if (bytes.empty() || !ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), bytes.size(), &read))
    return {};
  bytes.resize(read - read % unit);
  std::wstring text;
  if (info.fUnicode) {
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / unit);
  } else {
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    text.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  }
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return Narrow(text);
}

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}

}  // namespace

DebuggedRun RunUnderDebugger(const std::wstring& commandLine, DWORD timeoutMs) {
  DebuggedRun run;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                      nullptr, &startup, &child)) {
    run.failure = "CreateProcessW failed (error " + std::to_string(GetLastError()) + ")";
    return run;
  }
  run.started = true;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  bool initialBreak = true;
  for (;;) {
    DEBUG_EVENT event{};
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline || !WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now))) {
      if (run.failure.empty())
        run.failure = "the child did not finish within " + std::to_string(timeoutMs) + " ms";
      TerminateProcess(child.hProcess, 1);
      DebugActiveProcessStop(child.dwProcessId);
      break;
    }
    DWORD reply = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT:
        run.output += ReadDebugString(child.hProcess, event.u.DebugString);
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        // The loader's breakpoint at start is the debugger's to take; every other exception is
        // the child's own to handle, and one it does not handle ends it.
        if (initialBreak && record.ExceptionCode == EXCEPTION_BREAKPOINT) {
          initialBreak = false;
          break;
        }
        reply = DBG_EXCEPTION_NOT_HANDLED;
        if (!event.u.Exception.dwFirstChance && run.failure.empty())
          run.failure = "the child crashed with exception " + Hex(record.ExceptionCode);
        break;
      }
      default:
        break;
    }
    if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      run.exitCode = event.u.ExitProcess.dwExitCode;
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, reply);
      break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, reply);
  }
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return run;
}

}  // namespace qxwin
