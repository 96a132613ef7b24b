// The host's services on Windows.  The adapter shows its message boxes with
// the real MessageBoxA, so an unattended host answers them the way a user
// would: a CBT hook on the thread sees each dialog box as it is activated
// and presses the chosen button in it.  Paths are Windows paths already.
#include "platform/host_services.h"

#include <string.h>

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

// The real registry serves the adapter; there is no file to name.
DWORD PlatformRegistryFile(LPSTR buffer, DWORD size) {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return 0;
}
