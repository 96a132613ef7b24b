/*
 * Whether anything reads the debugger output, beyond the Win32 subset.
 *
 * OutputDebugStringA drops its text when nothing reads it.  A caller that
 * formats a text only to send it there may ask first and skip the work;
 * the adapter asks before every trace line, so the answer is inline.
 * platform/posix/ knows it (its debugger output is what
 * MORVANE_DEBUG_OUTPUT names, read again after SetEnvironmentVariableA
 * changes the environment); on Windows a debugger or a debug-output viewer
 * may be listening unseen, so the answer there is always TRUE.
 */
#ifndef MORVANE_PLATFORM_DEBUG_OUTPUT_H
#define MORVANE_PLATFORM_DEBUG_OUTPUT_H

#include "platform/win32api.h"

#if defined(_WIN32)

inline BOOL PlatformDebugOutputHasReader() { return TRUE; }

#else

#include <atomic>

namespace platform_debug_output {
// 1 or 0 once known; -1 until the environment is next read.
extern PLATFORM_API std::atomic<int> g_hasReader;
// Reads the environment and sets g_hasReader.
PLATFORM_API int ReadHasReader();
}  // namespace platform_debug_output

/* TRUE when a text sent with OutputDebugStringA now may be read. */
inline BOOL PlatformDebugOutputHasReader() {
    const int known = platform_debug_output::g_hasReader.load(std::memory_order_relaxed);
    return known >= 0 ? known : platform_debug_output::ReadHasReader();
}

#endif

#endif /* MORVANE_PLATFORM_DEBUG_OUTPUT_H */
