// OutputDebugStringA: the debugger output, which on this host is a file or
// standard error chosen by MORVANE_DEBUG_OUTPUT, or nowhere when it is unset
// (as on Windows when no debugger is attached).
#include "platform/debug_output.h"
#include "platform/win32api.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "platform/posix/environment.h"

namespace {

// Every trace line somebody reads comes here, so the target's path is
// looked up in the environment only when the environment has changed.
// Each thread keeps its own copy: no lock on the way of every line.
// Whether there is a target at all is PlatformDebugOutputHasReader's.
struct DebugTarget {
    unsigned generation = 0;
    std::string path;
};

const DebugTarget& CurrentTarget() {
    thread_local DebugTarget target;
    const unsigned now = posix_platform::EnvironmentGeneration();
    if (target.generation != now) {
        const char* value = std::getenv("MORVANE_DEBUG_OUTPUT");
        target.path = value != nullptr ? value : "";
        target.generation = now;
    }
    return target;
}

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
    if (text == nullptr || !PlatformDebugOutputHasReader()) return;
    const char* target = CurrentTarget().path.c_str();
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

// Unknown (-1) until first asked, and again after every change
// SetEnvironmentVariableA makes.
std::atomic<int> platform_debug_output::g_hasReader{-1};

int platform_debug_output::ReadHasReader() {
    const char* value = std::getenv("MORVANE_DEBUG_OUTPUT");
    const int hasReader = value != nullptr && *value != '\0' ? 1 : 0;
    g_hasReader.store(hasReader, std::memory_order_relaxed);
    return hasReader;
}
