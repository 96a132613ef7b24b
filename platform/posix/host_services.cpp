// The host's services on POSIX: the platform layer's own message box reads
// its answer from MORVANE_MESSAGEBOX, and Windows paths live below the
// drive-C folder (drive_path.h).
#include "platform/host_services.h"

#include <cstring>
#include <string>

#include "platform/posix/drive_path.h"

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
