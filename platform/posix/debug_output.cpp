// OutputDebugStringA: the debugger output, which on this host is a file or
// standard error chosen by MORVANE_DEBUG_OUTPUT, or nowhere when it is unset
// (as on Windows when no debugger is attached).
#include "platform/win32api.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

void WriteAll(int descriptor, const char* text, size_t length) {
    while (length > 0) {
        ssize_t put = write(descriptor, text, length);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;  // the debugger output never reports failure
        text += put;
        length -= static_cast<size_t>(put);
    }
}

}  // namespace

void WINAPI OutputDebugStringA(LPCSTR text) {
    const char* target = std::getenv("MORVANE_DEBUG_OUTPUT");
    if (text == nullptr || target == nullptr || *target == '\0') return;
    if (std::strcmp(target, "-") == 0) {
        WriteAll(STDERR_FILENO, text, std::strlen(text));
    } else {
        // Opened for every string so that each one is on disk at once and
        // nothing stays open between calls; O_APPEND keeps separate
        // processes writing to one file from overwriting each other.
        int descriptor = open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            WriteAll(descriptor, text, std::strlen(text));
            close(descriptor);
        }
    }
}
