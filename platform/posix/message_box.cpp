// MessageBoxA without a window system.  The answer comes from
// MORVANE_MESSAGEBOX ("ok" or "cancel", any case); when that is unset (or
// holds anything else) the question goes to the controlling terminal, and
// with no terminal the box is dismissed: Cancel for a box that has a Cancel
// button, OK for a box with the OK button alone (the only answer it has).
#include "platform/win32api.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

constexpr UINT kButtonsMask = 0x0000000F;

void WriteText(int descriptor, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t put = write(descriptor, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        done += static_cast<size_t>(put);
    }
}

// First character of the answer line, or 0 at end of input.
char ReadAnswer(int descriptor) {
    char first = 0;
    char c = 0;
    bool sawAny = false;
    for (;;) {
        ssize_t got = read(descriptor, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return sawAny ? first : 0;
        if (c == '\n') return sawAny ? first : '\n';
        if (!sawAny && c != ' ' && c != '\t') {
            first = c;
            sawAny = true;
        }
    }
}

// Asks on /dev/tty; false when the process has no controlling terminal.
bool AskTerminal(LPCSTR text, LPCSTR caption, bool hasCancel, int* answer) {
    int tty = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0) return false;
    std::string prompt = std::string("\n") + (caption != nullptr ? caption : "Error") + "\n" +
                         (text != nullptr ? text : "") + "\n" +
                         (hasCancel ? "OK? [y/n] " : "[press Enter] ");
    WriteText(tty, prompt);
    char reply = ReadAnswer(tty);
    close(tty);
    *answer = (!hasCancel || reply == 'y' || reply == 'Y') ? IDOK : IDCANCEL;
    return true;
}

}  // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    (void)owner;
    bool hasCancel = (type & kButtonsMask) != MB_OK;
    const char* configured = std::getenv("MORVANE_MESSAGEBOX");
    if (configured != nullptr && strcasecmp(configured, "ok") == 0) return IDOK;
    if (configured != nullptr && strcasecmp(configured, "cancel") == 0) return hasCancel ? IDCANCEL : IDOK;
    int answer = IDCANCEL;
    if (AskTerminal(text, caption, hasCancel, &answer)) return answer;
    return hasCancel ? IDCANCEL : IDOK;
}
