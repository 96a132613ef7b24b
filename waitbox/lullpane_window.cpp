// Lullpane.exe on Windows, the wait box: a small window that tells the user
// that the handheld is being written.  It offers no way to close it; it
// stays until the adapter terminates the process once the bulk write of a
// first synchronisation is over.  "/M" on the command line means the
// records are e-mails.
//
// When LULLPANE_STATUS names a file, the program also writes one line there
// once its window is up ("waiting" and its arguments), as the version for
// other systems does, so that whoever started it can see that it came up
// and with what.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kWindowClass[] = "LullpaneWaitBox";
const char kCaption[] = "Quenda";
const int kWidth = 440;
const int kHeight = 120;
const int kMargin = 16;

bool HasMailSwitch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "/M") == 0 || std::strcmp(argv[i], "/m") == 0) return true;
    return false;
}

void WriteStatus(int argc, char** argv) {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("LULLPANE_STATUS", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    std::string line = "waiting";
    for (int i = 1; i < argc; ++i) line += std::string(" ") + argv[i];
    line += "\n";
    if (std::FILE* file = std::fopen(path, "w")) {
        std::fputs(line.c_str(), file);
        std::fclose(file);
    }
}

LRESULT CALLBACK WaitBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Only the adapter ends the wait: a request to close is ignored.
    if (message == WM_CLOSE) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateWaitBox(HINSTANCE instance, const char* text) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WaitBoxProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_WAIT);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassA(&windowClass) == 0) return nullptr;
    // A caption without a system menu: no close button.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kWindowClass, kCaption, style, x, y, kWidth,
                                  kHeight, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return nullptr;
    RECT client = {};
    GetClientRect(window, &client);
    CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | SS_CENTER, kMargin, kMargin,
                    client.right - 2 * kMargin, client.bottom - 2 * kMargin, window, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const bool mail = HasMailSwitch(__argc, __argv);
    const std::string text = std::string("Writing ") + (mail ? "e-mail" : "records") +
                             " to the Quenda.\nPlease wait and do not disconnect the handheld...";
    if (CreateWaitBox(instance, text.c_str()) == nullptr) return 1;
    WriteStatus(__argc, __argv);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
