// Runs a program as a debugger does and collects what it writes to the debugger output, as a
// debug-output viewer shows the plug-in's trace.
#pragma once

#include <windows.h>

#include <string>

namespace qxwin {

struct DebuggedRun {
  bool started = false;
  DWORD exitCode = 0;
  std::string output;   // every debug string, in order, as UTF-8
  std::string failure;  // why the run went wrong (crash, time-out); empty when it did not
};

// Runs `commandLine` under a debug loop for at most `timeoutMs` milliseconds.
DebuggedRun RunUnderDebugger(const std::wstring& commandLine, DWORD timeoutMs);

}  // namespace qxwin
