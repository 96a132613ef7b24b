/*
 * What a host program asks of the system beyond the Win32 subset the
 * adapter calls.  platform/posix/ and platform/win32/ each implement it; a
 * host calls these instead of asking which system it runs on.
 */
#ifndef MORVANE_PLATFORM_HOST_SERVICES_H
#define MORVANE_PLATFORM_HOST_SERVICES_H

#include "platform/win32api.h"

#if defined(_WIN32)
#define PLATFORM_HOST_API
#else
#define PLATFORM_HOST_API PLATFORM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* From now on every message box the calling thread shows is answered with
 * answer (IDOK or IDCANCEL) as soon as it appears, as if the user had
 * pressed that button: a host that runs unattended needs no one at the
 * screen.  The box itself is still shown where the system shows boxes.
 * FALSE when the answer cannot be arranged. */
PLATFORM_HOST_API BOOL PlatformAnswerMessageBoxes(int answer);

/* The name under which this program opens the file that the adapter calls
 * windowsPath (for example "C:\QADbgLog.txt"), NUL-terminated in buffer.
 * Returns its length, or 0 when the path has no such name or the buffer
 * is too small. */
PLATFORM_HOST_API DWORD PlatformLocalPath(LPCSTR windowsPath, LPSTR buffer, DWORD size);

/* The file that serves the user's registry hive to the adapter on this
 * system, NUL-terminated in buffer; its length, or 0 when the system's own
 * registry serves it (or the buffer is too small). */
PLATFORM_HOST_API DWORD PlatformRegistryFile(LPSTR buffer, DWORD size);

#ifdef __cplusplus
}
#endif

#endif /* MORVANE_PLATFORM_HOST_SERVICES_H */
