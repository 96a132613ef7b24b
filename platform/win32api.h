/*
 * The Win32 subset that Morvane calls.
 *
 * On Windows this is <windows.h> itself.  Elsewhere it declares the same
 * names, constants and signatures, implemented in platform/posix/ on top of
 * POSIX.  The library calls these names directly and never asks which
 * system it runs on; only this folder knows.
 *
 * POSIX configuration, read on every call so that tests can change it:
 *   MORVANE_DRIVE_C       folder standing for "C:\" (default $HOME/.morvane/drive_c)
 *   MORVANE_REGISTRY      .reg text file serving HKEY_CURRENT_USER
 *                         (default $HOME/.morvane/user.reg)
 *   MORVANE_MESSAGEBOX    "ok" or "cancel": the answer of every MessageBoxA
 *   MORVANE_DEBUG_OUTPUT  where OutputDebugStringA writes: unset = nowhere,
 *                         "-" = standard error, otherwise a file appended to
 */
#ifndef MORVANE_PLATFORM_WIN32API_H
#define MORVANE_PLATFORM_WIN32API_H

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#else /* POSIX */

#include <stddef.h>
#include <stdint.h>

#if defined(PLATFORM_BUILD)
#define PLATFORM_API __attribute__((visibility("default")))
#else
#define PLATFORM_API
#endif

#define WINAPI
#define CALLBACK

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uintptr_t UINT_PTR;
typedef size_t SIZE_T;
typedef char CHAR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HWND__* HWND;
typedef DWORD REGSAM;
typedef int (*FARPROC)(void);

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

/* Error codes, as GetLastError and the registry functions give them. */
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_FORMAT 11L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MORE_DATA 234L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_ENVVAR_NOT_FOUND 203L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

PLATFORM_API DWORD WINAPI GetLastError(void);
PLATFORM_API void WINAPI SetLastError(DWORD code);

/* Registry (HKEY_CURRENT_USER is served from MORVANE_REGISTRY). */
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define KEY_QUERY_VALUE 0x0001
#define KEY_READ 0x20019
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4

PLATFORM_API LONG WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
PLATFORM_API LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                          LPDWORD dataSize);
PLATFORM_API LONG WINAPI RegCloseKey(HKEY key);

/* Profile (INI) files.  A bare file name lives in the drive-C folder. */
PLATFORM_API DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultText, LPSTR buffer,
                                                   DWORD size, LPCSTR fileName);
PLATFORM_API BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR fileName);

/* Heaps. */
#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_GENERATE_EXCEPTIONS 0x00000004
#define HEAP_ZERO_MEMORY 0x00000008

PLATFORM_API HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
PLATFORM_API LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
PLATFORM_API BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
PLATFORM_API BOOL WINAPI HeapValidate(HANDLE heap, DWORD flags, LPCVOID block);
PLATFORM_API BOOL WINAPI HeapDestroy(HANDLE heap);

/* Files (only what the library's own files need). */
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_APPEND_DATA 0x0004
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define FILE_ATTRIBUTE_NORMAL 0x80
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

PLATFORM_API HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPVOID security,
                                       DWORD creation, DWORD flags, HANDLE templateFile);
PLATFORM_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPVOID overlapped);
PLATFORM_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPVOID overlapped);
PLATFORM_API DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
PLATFORM_API BOOL WINAPI DeleteFileA(LPCSTR fileName);

/* File mappings: the subset that maps a whole file, or a part of it from
 * offset 0, read-only.  A view stays valid after the mapping's and the
 * file's handles are closed, until UnmapViewOfFile. */
#define PAGE_READONLY 0x02
#define FILE_MAP_READ 0x0004
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_FILE_INVALID 1006L

PLATFORM_API HANDLE WINAPI CreateFileMappingA(HANDLE file, LPVOID security, DWORD protect, DWORD maximumSizeHigh,
                                              DWORD maximumSizeLow, LPCSTR name);
PLATFORM_API LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                                         SIZE_T bytes);
PLATFORM_API BOOL WINAPI UnmapViewOfFile(LPCVOID base);

/* Processes. */
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow, cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

PLATFORM_API BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPVOID processAttributes,
                                        LPVOID threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                        LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                                        LPPROCESS_INFORMATION processInformation);
PLATFORM_API BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
PLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
PLATFORM_API BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
PLATFORM_API BOOL WINAPI CloseHandle(HANDLE handle);
PLATFORM_API void WINAPI Sleep(DWORD milliseconds);

/* Libraries and string resources.  A PE file (the maker's "Gantry1.dll")
 * is opened as a resource module whose string table LoadStringA reads;
 * any other file is loaded as a shared object whose symbols
 * GetProcAddress finds. */
PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE module);
PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
PLATFORM_API int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);

/* The process's environment variables (the host and the simulated device
 * pass settings through them).  GetEnvironmentVariableA gives the length
 * without the terminator when the value fits, else the size it needs with
 * it, 0 when the variable is not set; a null value unsets one. */
PLATFORM_API DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);
PLATFORM_API BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

/* User interface. */
#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_ICONQUESTION 0x00000020
#define MB_TOPMOST 0x00040000
#define IDOK 1
#define IDCANCEL 2

PLATFORM_API int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
PLATFORM_API void WINAPI OutputDebugStringA(LPCSTR text);

#ifdef __cplusplus
}
#endif

#endif /* POSIX */

#endif /* MORVANE_PLATFORM_WIN32API_H */
