// A child process with pipes to its standard streams (host_services.h) on
// Windows.  Anonymous pipes cannot be waited on with a timeout, so each
// stream is a named pipe of its own: this side opened for overlapped I/O,
// the child's side an ordinary inheritable handle.  Every wait is for the
// stream's event or the standard error's, whose read is always pending, so
// that the child never blocks on a full standard error and its last 4 KiB
// are kept for the caller's report.
#include "platform/host_services.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

constexpr size_t kErrorTailBytes = 4096;
constexpr DWORD kPipeBytes = 1024 * 1024;
constexpr DWORD kReadBytes = 64 * 1024;
constexpr DWORD kEndWaitMs = 5000;

// This side of one pipe, with its one overlapped operation.
struct Pipe {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED overlapped = {};
    bool pending = false;
    bool ended = false;
    std::vector<char> buffer;  // reads land here
    size_t begin = 0, end = 0;  // what the caller has not taken yet
};

void CopyText(const std::string& text, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return;
    const size_t length = text.size() < size - 1 ? text.size() : size - 1;
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

std::string SystemMessage(DWORD code) {
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message + " (error " + std::to_string(code) + ")";
}

// Makes a pipe: *ours for overlapped I/O, *theirs inheritable; outbound:
// this side writes.
bool MakePipe(bool outbound, Pipe* ours, HANDLE* theirs) {
    static LONG counter = 0;
    const std::string name = "\\\\.\\pipe\\morvane-child-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(InterlockedIncrement(&counter));
    ours->handle = CreateNamedPipeA(name.c_str(),
                                    (outbound ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_OVERLAPPED |
                                        FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_BYTE | PIPE_WAIT, 1, kPipeBytes, kPipeBytes, 0, nullptr);
    if (ours->handle == INVALID_HANDLE_VALUE) return false;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    *theirs = CreateFileA(name.c_str(), outbound ? GENERIC_READ : GENERIC_WRITE, 0, &inherit, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    ours->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!outbound) ours->buffer.resize(kReadBytes);
    return *theirs != INVALID_HANDLE_VALUE && ours->event != nullptr;
}

void ClosePipe(Pipe* pipe) {
    if (pipe->handle != INVALID_HANDLE_VALUE) {
        if (pipe->pending) {
            CancelIoEx(pipe->handle, &pipe->overlapped);
            DWORD ignored = 0;
            GetOverlappedResult(pipe->handle, &pipe->overlapped, &ignored, TRUE);
            pipe->pending = false;
        }
        CloseHandle(pipe->handle);
    }
    if (pipe->event != nullptr) CloseHandle(pipe->event);
    pipe->handle = INVALID_HANDLE_VALUE;
    pipe->event = nullptr;
    pipe->ended = true;
}

// Starts a read of up to the buffer's size unless one is pending.  True
// when bytes arrived at once (they are in begin..end).
bool StartRead(Pipe* pipe) {
    if (pipe->pending || pipe->ended) return false;
    ResetEvent(pipe->event);
    pipe->overlapped = {};
    pipe->overlapped.hEvent = pipe->event;
    DWORD got = 0;
    if (ReadFile(pipe->handle, pipe->buffer.data(), static_cast<DWORD>(pipe->buffer.size()), &got,
                 &pipe->overlapped)) {
        pipe->begin = 0;
        pipe->end = got;
        return got > 0;
    }
    if (GetLastError() == ERROR_IO_PENDING)
        pipe->pending = true;
    else
        pipe->ended = true;  // broken: the child closed its end
    return false;
}

// Completes the pending read once its event is set.  True with bytes.
bool FinishRead(Pipe* pipe) {
    DWORD got = 0;
    pipe->pending = false;
    if (!GetOverlappedResult(pipe->handle, &pipe->overlapped, &got, FALSE)) {
        pipe->ended = true;
        return false;
    }
    pipe->begin = 0;
    pipe->end = got;
    return got > 0;
}

ULONGLONG Now() { return GetTickCount64(); }

DWORD Left(ULONGLONG deadline) {
    const ULONGLONG now = Now();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

}  // namespace

struct PlatformChild {
    HANDLE process = nullptr;
    Pipe input, output, errors;
    std::string errorTail;

    void KeepErrors(const Pipe& pipe) {
        errorTail.append(pipe.buffer.data() + pipe.begin, pipe.end - pipe.begin);
        if (errorTail.size() > kErrorTailBytes) errorTail.erase(0, errorTail.size() - kErrorTailBytes);
    }

    // Takes whatever the standard error holds and leaves a read pending.
    void DrainErrors() {
        for (;;) {
            if (errors.pending && WaitForSingleObject(errors.event, 0) == WAIT_OBJECT_0) {
                if (FinishRead(&errors)) KeepErrors(errors);
                continue;
            }
            if (errors.pending || errors.ended) return;
            if (StartRead(&errors)) KeepErrors(errors);
        }
    }

    // Waits until event is set or the deadline passes, taking the standard
    // error meanwhile.  True when the event is set.
    bool WaitFor(HANDLE event, ULONGLONG deadline) {
        for (;;) {
            DrainErrors();
            HANDLE events[2] = {event, errors.event};
            const DWORD count = errors.pending ? 2 : 1;
            const DWORD which = WaitForMultipleObjects(count, events, FALSE, Left(deadline));
            if (which == WAIT_OBJECT_0) return true;
            if (which != WAIT_OBJECT_0 + 1) return false;
        }
    }
};

PlatformChild* PlatformStartChild(LPCSTR commandLine, LPSTR error, DWORD errorSize) {
    if (commandLine == nullptr || *commandLine == '\0') {
        CopyText("no command line", error, errorSize);
        return nullptr;
    }
    auto* child = new PlatformChild;
    HANDLE in = INVALID_HANDLE_VALUE, out = INVALID_HANDLE_VALUE, err = INVALID_HANDLE_VALUE;
    bool made = MakePipe(true, &child->input, &in) && MakePipe(false, &child->output, &out) &&
                MakePipe(false, &child->errors, &err);
    DWORD failure = made ? 0 : GetLastError();
    if (made) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION started = {};
        std::string line = commandLine;  // CreateProcessA may write into it
        made = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                              &started) != FALSE;
        failure = made ? 0 : GetLastError();
        if (made) {
            CloseHandle(started.hThread);
            child->process = started.hProcess;
        }
    }
    for (HANDLE theirs : {in, out, err})
        if (theirs != INVALID_HANDLE_VALUE) CloseHandle(theirs);
    if (!made) {
        CopyText(SystemMessage(failure), error, errorSize);
        PlatformChildRelease(child);
        return nullptr;
    }
    return child;
}

int PlatformChildWrite(PlatformChild* child, const void* data, size_t size, DWORD timeoutMs) {
    const ULONGLONG deadline = Now() + timeoutMs;
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    Pipe& pipe = child->input;
    while (done < size) {
        if (pipe.ended) return -1;
        ResetEvent(pipe.event);
        pipe.overlapped = {};
        pipe.overlapped.hEvent = pipe.event;
        const DWORD piece = size - done < kPipeBytes ? static_cast<DWORD>(size - done) : kPipeBytes;
        DWORD put = 0;
        BOOL ok = WriteFile(pipe.handle, bytes + done, piece, &put, &pipe.overlapped);
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            pipe.pending = true;
            if (!child->WaitFor(pipe.event, deadline)) return 0;  // the write stays pending; the caller gives up
            pipe.pending = false;
            ok = GetOverlappedResult(pipe.handle, &pipe.overlapped, &put, FALSE);
        }
        if (!ok) {
            pipe.ended = true;
            return -1;
        }
        done += put;
    }
    return 1;
}

int PlatformChildRead(PlatformChild* child, void* buffer, size_t size, DWORD timeoutMs) {
    const ULONGLONG deadline = Now() + timeoutMs;
    Pipe& pipe = child->output;
    while (pipe.begin == pipe.end) {
        if (pipe.ended) return 0;
        if (StartRead(&pipe)) break;
        if (!pipe.pending) continue;
        if (!child->WaitFor(pipe.event, deadline)) return -1;
        FinishRead(&pipe);
    }
    const size_t length = pipe.end - pipe.begin < size ? pipe.end - pipe.begin : size;
    memcpy(buffer, pipe.buffer.data() + pipe.begin, length);
    pipe.begin += length;
    return static_cast<int>(length);
}

DWORD PlatformChildErrorTail(PlatformChild* child, LPSTR buffer, DWORD size) {
    child->DrainErrors();
    CopyText(child->errorTail, buffer, size);
    return size == 0 ? 0 : static_cast<DWORD>(strlen(buffer));
}

void PlatformChildCloseInput(PlatformChild* child) { ClosePipe(&child->input); }

BOOL PlatformChildWait(PlatformChild* child, DWORD timeoutMs, LPSTR how, DWORD howSize) {
    const ULONGLONG deadline = Now() + timeoutMs;
    if (child->process == nullptr || !child->WaitFor(child->process, deadline)) return FALSE;
    DWORD code = 0;
    GetExitCodeProcess(child->process, &code);
    char text[64];
    // Codes from 0xC0000000 are the system's: the program ended by an exception.
    snprintf(text, sizeof text, code >= 0xC0000000u ? "ended by exception 0x%08lX" : "exit status %lu",
             static_cast<unsigned long>(code));
    CopyText(text, how, howSize);
    return TRUE;
}

void PlatformChildKill(PlatformChild* child) {
    if (child->process != nullptr && WaitForSingleObject(child->process, 0) != WAIT_OBJECT_0)
        TerminateProcess(child->process, 1);
}

void PlatformChildRelease(PlatformChild* child) {
    if (child == nullptr) return;
    ClosePipe(&child->input);
    ClosePipe(&child->output);
    ClosePipe(&child->errors);
    if (child->process != nullptr) {
        PlatformChildKill(child);
        WaitForSingleObject(child->process, kEndWaitMs);
        CloseHandle(child->process);
    }
    delete child;
}
