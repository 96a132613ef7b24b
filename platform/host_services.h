/*
 * What a host program asks of the system beyond the Win32 subset the
 * adapter calls.  platform/posix/ and platform/win32/ each implement it; a
 * host calls these instead of asking which system it runs on.
 */
#ifndef MORVANE_PLATFORM_HOST_SERVICES_H
#define MORVANE_PLATFORM_HOST_SERVICES_H

#include <stddef.h>
#include <stdio.h>

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

/* Writes the file whole or not at all: the bytes go to a temporary file in
 * the same folder, which is flushed to the disk and renamed over path, and
 * the folder is flushed too.  A reader sees the old file or the new one,
 * never a part.  FALSE when it could not be written; the old file, if any,
 * is then unchanged and the last error says why. */
PLATFORM_HOST_API BOOL PlatformWriteFileWhole(LPCSTR path, const void* data, size_t size);

/* For a program that serves a client over its standard input and output:
 * standard input then carries bytes as they are (no line-end translation);
 * the stream returned writes, in the same way, to where standard output
 * went, and standard output itself goes to standard error from then on, so
 * that nothing else this process or the programs it starts print can mix
 * into what the client reads.  A write to a client that has gone away
 * fails instead of ending the program.  NULL when this cannot be arranged. */
PLATFORM_HOST_API FILE* PlatformTakeStandardStreams(void);

/* Reads what has arrived on standard input, waiting until something has:
 * the number of bytes read (at most size), 0 at the end of the input (or
 * when it cannot be read). */
PLATFORM_HOST_API size_t PlatformReadStandardInput(void* buffer, size_t size);

/* Has the C library grow this process's heap in large steps that it keeps,
 * and asks the system to back that heap with large pages.  A program that
 * fills a hundred megabytes or more with small allocations (a first sync
 * of thousands of records: the records as the handheld hands them over,
 * as the adapter converts them, their items and their state rows) takes a
 * page fault for every 4 KiB of it otherwise, where the system gives large
 * pages only to memory that asks for them.  Call once, early, before other
 * threads start.  Nothing happens where the system or its C library has no
 * such thing, in a 32-bit process (address space is scarce there), or
 * where malloc is not the C library's own (a sanitizer's, valgrind's). */
PLATFORM_HOST_API void PlatformKeepHeapInLargePages(void);

/* A program started with pipes to its standard input, output and error. */
typedef struct PlatformChild PlatformChild;

/* Starts commandLine with the environment and working folder of this
 * process.  On POSIX systems the command line is read by /bin/sh (so it
 * takes the shell's quoting; the shell replaces itself with the program);
 * on Windows it is CreateProcess's command line.  Writing to a child that
 * no longer reads fails rather than ending this program.  NULL when it
 * cannot be started, with the reason, NUL-terminated, in error. */
PLATFORM_HOST_API PlatformChild* PlatformStartChild(LPCSTR commandLine, LPSTR error, DWORD errorSize);

/* Writes size bytes to the child's standard input, waiting at most
 * timeoutMs for it to take them.  1: written; 0: the time ran out; -1: the
 * child no longer reads (it closed its input or ended). */
PLATFORM_HOST_API int PlatformChildWrite(PlatformChild* child, const void* data, size_t size, DWORD timeoutMs);

/* Reads what the child wrote to its standard output: waits at most
 * timeoutMs for anything to arrive, then takes up to size bytes.  The
 * number of bytes read; 0: its output has ended; -1: the time ran out.
 * What it writes to its standard error meanwhile is kept (see
 * PlatformChildErrorTail) so that it never blocks on it. */
PLATFORM_HOST_API int PlatformChildRead(PlatformChild* child, void* buffer, size_t size, DWORD timeoutMs);

/* The last bytes (up to 4 KiB) the child wrote to its standard error, in
 * buffer, NUL-terminated and cut to size.  Returns their length. */
PLATFORM_HOST_API DWORD PlatformChildErrorTail(PlatformChild* child, LPSTR buffer, DWORD size);

/* Closes the child's standard input: its next read finds the end. */
PLATFORM_HOST_API void PlatformChildCloseInput(PlatformChild* child);

/* Waits at most timeoutMs for the child to end.  TRUE when it has, with how
 * it ended in buffer ("exit status 3", "killed by signal 9 (Killed)"). */
PLATFORM_HOST_API BOOL PlatformChildWait(PlatformChild* child, DWORD timeoutMs, LPSTR how, DWORD howSize);

/* Ends the child at once, if it still runs. */
PLATFORM_HOST_API void PlatformChildKill(PlatformChild* child);

/* Closes the pipes, ends the child if it still runs, waits for it and frees
 * the record.  child may be NULL. */
PLATFORM_HOST_API void PlatformChildRelease(PlatformChild* child);

#ifdef __cplusplus
}
#endif

#endif /* MORVANE_PLATFORM_HOST_SERVICES_H */
