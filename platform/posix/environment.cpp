// GetEnvironmentVariableA / SetEnvironmentVariableA over the C library's
// environment, which child processes inherit as on Windows.
#include "platform/debug_output.h"
#include "platform/win32api.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/posix/environment.h"

std::atomic<unsigned> posix_platform::g_environmentGeneration{1};

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    const char* value = name != nullptr && *name != '\0' ? std::getenv(name) : nullptr;
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const size_t length = std::strlen(value);
    // Too small a buffer is left as it was and told the size to ask for.
    if (buffer == nullptr || length >= size) return static_cast<DWORD>(length + 1);
    std::memcpy(buffer, value, length + 1);
    return static_cast<DWORD>(length);
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int result = value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    if (result != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    posix_platform::g_environmentGeneration.fetch_add(1, std::memory_order_acq_rel);
    platform_debug_output::g_hasReader.store(-1, std::memory_order_relaxed);
    return TRUE;
}
