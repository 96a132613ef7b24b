// CreateProcessA, TerminateProcess, WaitForSingleObject, GetExitCodeProcess
// and Sleep on top of posix_spawn and waitpid.
//
// CreateProcessA hands out two handles, as on Windows: hProcess, and
// hThread for the child's main thread.  Both are kernel objects sharing one
// child record; waiting on either waits for the child, and either may be
// closed first.  dwThreadId is the child's pid, which is the id of its
// main thread on Linux.
//
// A child still running when its last handle is closed keeps running, as
// on Windows; this layer reaps it later (at the next CreateProcessA or
// handle close) so that it does not stay behind as a zombie.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/command_line.h"
#include "platform/posix/drive_path.h"
#include "platform/posix/fault_injection.h"
#include "platform/posix/kernel_object.h"
#include "platform/win32api.h"
#include "platform/posix/spawn_signals.h"

extern char** environ;

namespace platform_posix {
namespace {

constexpr DWORD kErrorDirectory = 267;  // ERROR_DIRECTORY: not a folder
// Exit code of a child ended by a signal other than TerminateProcess's:
// 128 + the signal number, as POSIX shells report it.
constexpr DWORD kSignalExitBase = 128;

std::mutex g_orphanLock;
std::vector<pid_t> g_orphans;  // children whose handles were all closed while they ran

void ReapOrphans() {
    std::lock_guard<std::mutex> lock(g_orphanLock);
    g_orphans.erase(std::remove_if(g_orphans.begin(), g_orphans.end(),
                                   [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; }),
                    g_orphans.end());
}

DWORD ExitCodeFromStatus(int status) {
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return kSignalExitBase + static_cast<DWORD>(WTERMSIG(status));
    return 0;
}

// One started child, shared by its process and thread handles.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // True once the child has ended (and been reaped); never blocks.
    bool HasEnded();
    DWORD Wait(DWORD milliseconds);
    BOOL Terminate(UINT exitCode);
    DWORD exitCode() {
        std::lock_guard<std::mutex> lock(lock_);
        return ended_ ? exitCode_ : STILL_ACTIVE;
    }

private:
    void RecordLocked(int status) {
        ended_ = true;
        exitCode_ = ExitCodeFromStatus(status);
    }

    std::mutex lock_;
    const pid_t pid_;
    bool ended_ = false;
    DWORD exitCode_ = 0;
};

Child::~Child() {
    if (HasEnded()) return;
    try {
        std::lock_guard<std::mutex> lock(g_orphanLock);
        g_orphans.push_back(pid_);
    } catch (const std::bad_alloc&) {
        // The child stays a zombie until this process ends; nothing worse.
    }
}

bool Child::HasEnded() {
    std::lock_guard<std::mutex> lock(lock_);
    if (ended_) return true;
    int status = 0;
    const pid_t reaped = waitpid(pid_, &status, WNOHANG);
    if (reaped == pid_) {
        RecordLocked(status);
    } else if (reaped < 0 && errno == ECHILD) {
        // Reaped behind this layer's back: ended, with no code to tell.
        ended_ = true;
        exitCode_ = 0;
    }
    return ended_;
}

// Polls rather than blocks in waitpid, so that no lock is held while
// waiting and TerminateProcess from another thread still gets through.
DWORD Child::Wait(DWORD milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    auto pause = std::chrono::microseconds(200);
    while (!HasEnded()) {
        const auto now = Clock::now();
        if (milliseconds != INFINITE && now >= deadline) return WAIT_TIMEOUT;
        auto step = pause;
        if (milliseconds != INFINITE)
            step = std::min(step, std::chrono::duration_cast<std::chrono::microseconds>(deadline - now));
        std::this_thread::sleep_for(step);
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
    return WAIT_OBJECT_0;
}

BOOL Child::Terminate(UINT exitCode) {
    std::lock_guard<std::mutex> lock(lock_);
    if (ended_ || kill(pid_, SIGKILL) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);  // Windows' answer for a process that has ended
        return FALSE;
    }
    int status = 0;
    pid_t reaped = -1;
    do {
        reaped = waitpid(pid_, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    RecordLocked(status);
    // A child that ended by itself just before the signal keeps its own code.
    if (reaped != pid_ || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)) exitCode_ = exitCode;
    return TRUE;
}

class ChildHandle : public KernelObject {
public:
    ChildHandle(std::shared_ptr<Child> child, bool isProcess) : child_(std::move(child)), isProcess_(isProcess) {}
    ~ChildHandle() override {
        child_.reset();
        ReapOrphans();
    }

    Child& child() { return *child_; }
    bool isProcess() const { return isProcess_; }

private:
    std::shared_ptr<Child> child_;
    const bool isProcess_;
};

Child* LookupProcess(HANDLE handle) {
    ChildHandle* object = LookupHandleAs<ChildHandle>(handle);
    if (object == nullptr || !object->isProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &object->child();
}

DWORD SpawnError(int error) {
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES: case EPERM: return ERROR_ACCESS_DENIED;
    case ENOEXEC: case E2BIG: case ELIBBAD: return ERROR_BAD_FORMAT;
    default: return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// What to start: the host program, its argument vector and environment.
struct Launch {
    std::string program;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;  // empty: the caller's own
    std::string folder;                    // empty: the caller's own
};

// Fills launch from CreateProcessA's arguments; sets the last error and
// returns false when there is nothing that could start.
bool PrepareLaunch(LPCSTR applicationName, LPCSTR commandLine, LPVOID environment, LPCSTR currentDirectory,
                   Launch* launch) {
    if (applicationName != nullptr) {
        // An application name is taken as it is: no ".exe" is assumed.
        launch->program = ResolveProgramFile(applicationName, false);
        if (commandLine != nullptr) launch->arguments = SplitCommandLineArguments(commandLine);
        if (launch->arguments.empty()) launch->arguments.push_back(applicationName);
    } else if (commandLine != nullptr && *commandLine != '\0') {
        CommandLineProgram found;
        if (FindCommandLineProgram(commandLine, &found)) {
            launch->program = found.hostPath;
            launch->arguments = SplitCommandLineArguments(found.arguments);
            launch->arguments.insert(launch->arguments.begin(), found.windowsName);
        }
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (launch->program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (currentDirectory != nullptr) {
        struct stat info;
        if (!MapWindowsPath(currentDirectory, &launch->folder) || stat(launch->folder.c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode)) {
            SetLastError(kErrorDirectory);
            return false;
        }
    }
    // A Windows environment block: "name=value" texts, each ended by a
    // zero, the block by an empty text.
    for (const char* entry = static_cast<const char*>(environment); entry != nullptr && *entry != '\0';
         entry += launch->environment.back().size() + 1)
        launch->environment.push_back(entry);
    return true;
}

std::vector<char*> PointerArray(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the child; returns its pid, or -1 with the last error set.
pid_t Spawn(Launch& launch, bool inheritHandles) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    platform_posix::SetCleanSignals(&attributes);
    if (!inheritHandles) posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!launch.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, launch.folder.c_str());
    std::vector<char*> argv = PointerArray(launch.arguments);
    std::vector<char*> envp = PointerArray(launch.environment);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, launch.program.c_str(), &actions, &attributes, argv.data(),
                                  launch.environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        SetLastError(SpawnError(error));
        return -1;
    }
    return pid;
}

BOOL StartProcess(LPCSTR applicationName, LPCSTR commandLine, BOOL inheritHandles, LPVOID environment,
                  LPCSTR currentDirectory, LPPROCESS_INFORMATION information) {
    ReapOrphans();
    Launch launch;
    if (!PrepareLaunch(applicationName, commandLine, environment, currentDirectory, &launch)) return FALSE;
    const pid_t pid = Spawn(launch, inheritHandles != FALSE);
    if (pid < 0) return FALSE;
    auto child = std::make_shared<Child>(pid);
    HANDLE process = RegisterHandle(new ChildHandle(child, true));
    HANDLE thread = process == nullptr ? nullptr : RegisterHandle(new ChildHandle(child, false));
    if (thread == nullptr) {
        if (process != nullptr) CloseHandle(process);
        child->Terminate(0);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    information->hProcess = process;
    information->hThread = thread;
    information->dwProcessId = static_cast<DWORD>(pid);
    information->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

}  // namespace
}  // namespace platform_posix

// The security attributes, creation flags and start-up information have no
// POSIX counterpart here and are not looked at.  Relative program names are
// found from the working folder; there is no search along PATH.
BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPVOID, LPVOID, BOOL inheritHandles, DWORD,
                           LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA,
                           LPPROCESS_INFORMATION processInformation) {
    using namespace platform_posix;
    if (ShouldFailCall("CreateProcessA")) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (processInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        return StartProcess(applicationName, commandLine, inheritHandles, environment, currentDirectory,
                            processInformation);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode) {
    platform_posix::Child* child = platform_posix::LookupProcess(process);
    return child == nullptr ? FALSE : child->Terminate(exitCode);
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    platform_posix::Child* child = platform_posix::LookupProcess(process);
    if (child == nullptr) return FALSE;
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    child->HasEnded();
    *exitCode = child->exitCode();
    return TRUE;
}

// Only process and thread handles can be waited for.
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto* object = platform_posix::LookupHandleAs<platform_posix::ChildHandle>(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->child().Wait(milliseconds);
}

void WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds == INFINITE ? 3600000u : milliseconds));
    } while (milliseconds == INFINITE);
}
