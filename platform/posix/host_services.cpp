// The host's services on POSIX: the platform layer's own message box reads
// its answer from MORVANE_MESSAGEBOX, Windows paths live below the drive-C
// folder (drive_path.h), and a file is replaced whole (replace_file.h).
// The child process with pipes is child_process.cpp.
#include "platform/host_services.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/posix/drive_path.h"
#include "platform/posix/replace_file.h"

BOOL PlatformAnswerMessageBoxes(int answer) {
    if (answer != IDOK && answer != IDCANCEL) return FALSE;
    return SetEnvironmentVariableA("MORVANE_MESSAGEBOX", answer == IDOK ? "ok" : "cancel");
}

DWORD PlatformLocalPath(LPCSTR windowsPath, LPSTR buffer, DWORD size) {
    std::string local;
    if (!platform_posix::MapWindowsPath(windowsPath, &local) || buffer == nullptr || local.size() >= size) return 0;
    std::memcpy(buffer, local.c_str(), local.size() + 1);
    return static_cast<DWORD>(local.size());
}

DWORD PlatformRegistryFile(LPSTR buffer, DWORD size) {
    const std::string path = platform_posix::RegistryFilePath();
    if (path.empty() || buffer == nullptr || path.size() >= size) return 0;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

BOOL PlatformWriteFileWhole(LPCSTR path, const void* data, size_t size) {
    DWORD error = 0;
    if (path == nullptr || (data == nullptr && size > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (platform_posix::ReplaceFile(path, static_cast<const char*>(data), size, &error)) return TRUE;
    SetLastError(error);
    return FALSE;
}

// POSIX streams carry bytes as they are.  The protocol keeps a descriptor
// of its own, not inherited by programs this one starts, and standard
// output becomes a second name for standard error.
FILE* PlatformTakeStandardStreams(void) {
    signal(SIGPIPE, SIG_IGN);
    fflush(stdout);
    const int protocol = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (protocol < 0) return nullptr;
    FILE* stream = fdopen(protocol, "wb");
    if (stream == nullptr || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        if (stream != nullptr) fclose(stream); else close(protocol);
        return nullptr;
    }
    return stream;
}

size_t PlatformReadStandardInput(void* buffer, size_t size) {
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, size);
        if (got < 0 && errno == EINTR) continue;
        return got > 0 ? static_cast<size_t>(got) : 0;
    }
}
