// GetLastError / SetLastError: the calling thread's last Win32 error code.
#include "platform/win32api.h"

namespace {
thread_local DWORD g_lastError = ERROR_SUCCESS;
}

DWORD WINAPI GetLastError(void) { return g_lastError; }

void WINAPI SetLastError(DWORD code) { g_lastError = code; }
