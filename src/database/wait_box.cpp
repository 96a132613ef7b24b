#include "database/wait_box.h"

#include "platform/win32api.h"
#include "support/install_path.h"

#include <string.h>

const char kWaitBoxProgram[] = "Lullpane.exe";

namespace {

// The running wait box, held from its start to its termination.
HANDLE waitBoxProcess = nullptr;

void StartWaitBox(bool forMail) {
    std::string commandLine = WaitBoxCommandLine(forMail);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    // No inherited handles, normal priority, default start-up information;
    // CreateProcessA may write into its command line.
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return;
    // Only the process is ever terminated; its thread handle is not needed.
    CloseHandle(process.hThread);
    waitBoxProcess = process.hProcess;
}

void StopWaitBox() {
    if (waitBoxProcess == nullptr) return;
    TerminateProcess(waitBoxProcess, 0);
    CloseHandle(waitBoxProcess);
    waitBoxProcess = nullptr;
}

}  // namespace

std::string WaitBoxCommandLine(bool forMail) {
    std::string folder;
    if (!ReadDataFolder(folder) || folder.empty()) folder = ".";
    AppendBackslash(folder);
    folder += kWaitBoxProgram;
    if (forMail) folder += " /M";
    return folder;
}

void RunWaitBox(bool start, bool forMail) {
    if (start) StartWaitBox(forMail);
    else StopWaitBox();
}
