// kernel32 stand-in: the calling thread's last error code.
#include "platform/win_types.h"

namespace {
thread_local DWORD t_lastError = 0;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
extern "C" DWORD WINAPI GetLastError(void) { return t_lastError; }
