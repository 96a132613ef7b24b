// The host's services on Windows.  The adapter shows its message boxes with
// the real MessageBoxA, so an unattended host answers them the way a user
// would: a CBT hook on the thread sees each dialog box as it is activated
// and presses the chosen button in it.  Paths are Windows paths already.
// The child process with pipes is child_process.cpp.
#include "platform/host_services.h"

#include <fcntl.h>
#include <io.h>
#include <string.h>

#include <string>

namespace {

HHOOK g_hook = nullptr;
int g_answer = IDCANCEL;

// Message boxes are dialog boxes, of the class "#32770".
bool IsDialogBox(HWND window) {
    char name[16] = {0};
    return GetClassNameA(window, name, sizeof name) > 0 && strcmp(name, "#32770") == 0;
}

LRESULT CALLBACK AnswerHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        // Posted, not sent: the box takes the click once its own loop runs.
        if (IsDialogBox(window)) PostMessageA(window, WM_COMMAND, MAKEWPARAM(g_answer, BN_CLICKED), 0);
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

BOOL PlatformAnswerMessageBoxes(int answer) {
    if (answer != IDOK && answer != IDCANCEL) return FALSE;
    g_answer = answer;
    if (g_hook == nullptr) g_hook = SetWindowsHookExA(WH_CBT, AnswerHook, nullptr, GetCurrentThreadId());
    return g_hook != nullptr;
}

DWORD PlatformLocalPath(LPCSTR windowsPath, LPSTR buffer, DWORD size) {
    const size_t length = windowsPath != nullptr ? strlen(windowsPath) : 0;
    if (length == 0 || buffer == nullptr || length >= size) return 0;
    memcpy(buffer, windowsPath, length + 1);
    return static_cast<DWORD>(length);
}

// Windows gives large pages only to a process that holds the privilege to
// lock pages in memory, which a user's programs do not: a host does
// without them.
void PlatformKeepHeapInLargePages(void) {}

// The real registry serves the adapter; there is no file to name.
DWORD PlatformRegistryFile(LPSTR buffer, DWORD size) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
}

// The temporary file is made beside path, so that the rename stays on one
// volume; MOVEFILE_WRITE_THROUGH returns once the rename is on the disk.
BOOL PlatformWriteFileWhole(LPCSTR path, const void* data, size_t size) {
    if (path == nullptr || (data == nullptr && size > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string temporary = std::string(path) + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                  std::to_string(GetTickCount64());
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    bool written = true;
    while (written && done < size) {
        const DWORD piece = size - done < (1u << 30) ? static_cast<DWORD>(size - done) : (1u << 30);
        DWORD put = 0;
        written = WriteFile(file, bytes + done, piece, &put, nullptr) != FALSE && put > 0;
        done += put;
    }
    written = written && FlushFileBuffers(file) != FALSE;
    CloseHandle(file);
    if (written && MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return TRUE;
    const DWORD error = GetLastError();
    DeleteFileA(temporary.c_str());
    SetLastError(error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT);
    return FALSE;
}

// The C runtime's standard output would turn every LF into CR LF; the
// protocol's stream is a binary one on a descriptor of its own, and the
// process's standard output handle, which programs it starts inherit,
// becomes its standard error.  A write to a closed pipe fails on Windows.
FILE* PlatformTakeStandardStreams(void) {
    fflush(stdout);
    const int protocol = _dup(_fileno(stdout));
    if (protocol < 0) return nullptr;
    _setmode(protocol, _O_BINARY);
    FILE* stream = _fdopen(protocol, "wb");
    if (stream == nullptr) {
        _close(protocol);
        return nullptr;
    }
    _dup2(_fileno(stderr), _fileno(stdout));
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    return stream;
}

size_t PlatformReadStandardInput(void* buffer, size_t size) {
    DWORD got = 0;
    const DWORD wanted = size < (1u << 30) ? static_cast<DWORD>(size) : (1u << 30);
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, wanted, &got, nullptr)) return 0;
    return got;
}
