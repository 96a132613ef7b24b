// A child process with pipes to its standard streams (host_services.h):
// posix_spawn of "/bin/sh -c 'exec COMMAND'", so that the shell reads the
// quoting and then gives its process to the program, which is then the
// process that a kill ends.  Our ends of the pipes are non-blocking and
// every wait is a poll() with a deadline; the child's standard error is
// read whenever it has something, so that it never fills its pipe and
// stops, and its last 4 KiB are kept for the caller's report.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/host_services.h"
#include "platform/posix/spawn_signals.h"

extern char** environ;

struct PlatformChild {
    pid_t pid = -1;
    int input = -1;   // the child's standard input, our writing end
    int output = -1;  // its standard output, our reading end
    int errors = -1;  // its standard error, our reading end
    bool ended = false;
    int status = 0;
    std::string errorTail;
};

namespace {

constexpr size_t kErrorTailBytes = 4096;
constexpr int kOutputPipeBytes = 1024 * 1024;

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

void CloseEnd(int* descriptor) {
    if (*descriptor >= 0) close(*descriptor);
    *descriptor = -1;
}

void CopyText(const std::string& text, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return;
    const size_t length = text.size() < size - 1 ? text.size() : size - 1;
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

// Takes what the child wrote to its standard error; closes our end at its end.
void DrainErrors(PlatformChild* child) {
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(child->errors, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0 || (got < 0 && errno != EAGAIN)) CloseEnd(&child->errors);
        if (got <= 0) return;
        child->errorTail.append(chunk, static_cast<size_t>(got));
        if (child->errorTail.size() > kErrorTailBytes)
            child->errorTail.erase(0, child->errorTail.size() - kErrorTailBytes);
    }
}

// Waits until the descriptor is ready for events (or the deadline passes),
// taking the child's standard error meanwhile.  True when ready.
bool WaitReady(PlatformChild* child, int descriptor, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd watched[2] = {{descriptor, events, 0}, {child->errors, POLLIN, 0}};
        const int count = poll(watched, child->errors >= 0 ? 2 : 1, MillisecondsLeft(deadline));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return true;  // the read or write that follows reports it
        if (child->errors >= 0 && watched[1].revents != 0) DrainErrors(child);
        if (watched[0].revents != 0) return true;
        if (count == 0 || MillisecondsLeft(deadline) == 0) return false;
    }
}

bool MakePipe(int ends[2]) {
    if (pipe2(ends, O_CLOEXEC) != 0) return false;
    return true;
}

// Starts the shell with the three pipe ends as its standard streams; the
// child starts with no signal blocked and default dispositions, whatever
// this program has set up for itself (it ignores SIGPIPE).
pid_t Spawn(const std::string& commandLine, int in, int out, int err, int* failure) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    posix_spawnattr_init(&attributes);
    platform_posix::SetCleanSignals(&attributes);
    std::string shell = "/bin/sh", option = "-c", command = "exec " + commandLine;
    char* argv[] = {&shell[0], &option[0], &command[0], nullptr};
    pid_t pid = -1;
    *failure = posix_spawn(&pid, shell.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return *failure == 0 ? pid : -1;
}

bool Reap(PlatformChild* child, bool block) {
    if (child->ended) return true;
    for (;;) {
        const pid_t done = waitpid(child->pid, &child->status, block ? 0 : WNOHANG);
        if (done < 0 && errno == EINTR) continue;
        if (done == child->pid || done < 0) child->ended = true;
        return child->ended;
    }
}

}  // namespace

PlatformChild* PlatformStartChild(LPCSTR commandLine, LPSTR error, DWORD errorSize) {
    if (commandLine == nullptr || *commandLine == '\0') {
        CopyText("no command line", error, errorSize);
        return nullptr;
    }
    // Writing to a child that has gone away must fail, not end this program.
    signal(SIGPIPE, SIG_IGN);
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    int failure = 0;
    pid_t pid = -1;
    if (MakePipe(in) && MakePipe(out) && MakePipe(err))
        pid = Spawn(commandLine, in[0], out[1], err[1], &failure);
    else
        failure = errno;
    for (int end : {in[0], out[1], err[1]})
        if (end >= 0) close(end);
    if (pid < 0) {
        for (int end : {in[1], out[0], err[0]})
            if (end >= 0) close(end);
        CopyText(std::string("cannot start /bin/sh: ") + strerror(failure), error, errorSize);
        return nullptr;
    }
    auto* child = new PlatformChild;
    child->pid = pid;
    child->input = in[1];
    child->output = out[0];
    child->errors = err[0];
    for (int end : {child->input, child->output, child->errors}) fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
#ifdef F_SETPIPE_SZ
    // Room for a stream of records while this side is busy with the last
    // ones (Linux gives a pipe 64 KiB; this is the most it gives unasked).
    fcntl(child->output, F_SETPIPE_SZ, kOutputPipeBytes);
#endif
    return child;
}

int PlatformChildWrite(PlatformChild* child, const void* data, size_t size, DWORD timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        if (child->input < 0) return -1;
        const ssize_t put = write(child->input, bytes + done, size - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN) return -1;
        if (!WaitReady(child, child->input, POLLOUT, deadline)) return 0;
    }
    return 1;
}

int PlatformChildRead(PlatformChild* child, void* buffer, size_t size, DWORD timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (child->output < 0) return 0;
        const ssize_t got = read(child->output, buffer, size);
        if (got > 0) return static_cast<int>(got);
        if (got == 0) return 0;
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return 0;
        if (!WaitReady(child, child->output, POLLIN, deadline)) return -1;
    }
}

DWORD PlatformChildErrorTail(PlatformChild* child, LPSTR buffer, DWORD size) {
    if (child->errors >= 0) DrainErrors(child);
    CopyText(child->errorTail, buffer, size);
    return size == 0 ? 0 : static_cast<DWORD>(strlen(buffer));
}

void PlatformChildCloseInput(PlatformChild* child) { CloseEnd(&child->input); }

BOOL PlatformChildWait(PlatformChild* child, DWORD timeoutMs, LPSTR how, DWORD howSize) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Reap(child, false)) {
        if (MillisecondsLeft(deadline) == 0) return FALSE;
        if (child->errors >= 0) DrainErrors(child);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string text = "ended";
    if (WIFEXITED(child->status)) {
        text = "exit status " + std::to_string(WEXITSTATUS(child->status));
    } else if (WIFSIGNALED(child->status)) {
        const int signal = WTERMSIG(child->status);
        text = "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    }
    CopyText(text, how, howSize);
    return TRUE;
}

void PlatformChildKill(PlatformChild* child) {
    if (!Reap(child, false)) kill(child->pid, SIGKILL);
}

void PlatformChildRelease(PlatformChild* child) {
    if (child == nullptr) return;
    CloseEnd(&child->input);
    CloseEnd(&child->output);
    CloseEnd(&child->errors);
    PlatformChildKill(child);
    Reap(child, true);
    delete child;
}
