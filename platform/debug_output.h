/*
 * Whether anything reads the debugger output, beyond the Win32 subset.
 *
 * OutputDebugStringA drops its text when nothing reads it.  A caller that
 * formats a text only to send it there may ask first and skip the work.
 * platform/posix/ knows the answer (its debugger output is what
 * MORVANE_DEBUG_OUTPUT names); on Windows a debugger or a debug-output
 * viewer may be listening unseen, so the answer there is always TRUE.
 */
#ifndef MORVANE_PLATFORM_DEBUG_OUTPUT_H
#define MORVANE_PLATFORM_DEBUG_OUTPUT_H

#include "platform/win32api.h"

#if defined(_WIN32)
#define PLATFORM_DEBUG_API
#else
#define PLATFORM_DEBUG_API PLATFORM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* TRUE when a text sent with OutputDebugStringA now may be read. */
PLATFORM_DEBUG_API BOOL PlatformDebugOutputHasReader(void);

#ifdef __cplusplus
}
#endif

#endif /* MORVANE_PLATFORM_DEBUG_OUTPUT_H */
