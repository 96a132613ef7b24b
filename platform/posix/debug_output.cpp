// OutputDebugStringA: the debugger output, which on this host is a file or
// standard error chosen by MORVANE_DEBUG_OUTPUT, or nowhere when it is unset
// (as on Windows when no debugger is attached).
#include "platform/debug_output.h"
#include "platform/win32api.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "platform/posix/environment.h"

namespace {

// The adapter sends every trace line here, traced or not, so the target is
// looked up in the environment only when the environment has changed.
// Each thread keeps its own copy: no lock on the way of every line.
struct DebugTarget {
    unsigned generation = 0;
    bool set = false;
    std::string path;
};

const DebugTarget& CurrentTarget() {
    thread_local DebugTarget target;
    const unsigned now = posix_platform::EnvironmentGeneration();
    if (target.generation != now) {
        const char* value = std::getenv("MORVANE_DEBUG_OUTPUT");
        target.set = value != nullptr && *value != '\0';
        target.path = target.set ? value : "";
        target.generation = now;
    }
    return target;
}

// Whether the target is set, for every thread, as of the environment's
// change count: asked before every trace line, so it must cost no more
// than two loads.
std::atomic<unsigned> g_readerGeneration{0};
std::atomic<bool> g_hasReader{false};

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
    if (text == nullptr) return;
    const DebugTarget& debugTarget = CurrentTarget();
    if (!debugTarget.set) return;
    const char* target = debugTarget.path.c_str();
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

BOOL PlatformDebugOutputHasReader(void) {
    const unsigned now = posix_platform::EnvironmentGeneration();
    if (g_readerGeneration.load(std::memory_order_acquire) != now) {
        const char* value = std::getenv("MORVANE_DEBUG_OUTPUT");
        g_hasReader.store(value != nullptr && *value != '\0', std::memory_order_relaxed);
        g_readerGeneration.store(now, std::memory_order_release);
    }
    return g_hasReader.load(std::memory_order_relaxed) ? TRUE : FALSE;
}
