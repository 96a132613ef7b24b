#include "support/sandbox.h"

#include "platform/win32api.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testing_support {

Sandbox::Sandbox() {
    std::string pattern = (fs::temp_directory_path() / "morvane-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    driveC_ = root_ + "/drive_c";
    registry_ = root_ + "/user.reg";
    debugOutput_ = root_ + "/debug-output.txt";
    fs::create_directories(driveC_);
    SetEnv("MORVANE_DRIVE_C", driveC_);
    SetEnv("MORVANE_REGISTRY", registry_);
    SetEnv("MORVANE_DEBUG_OUTPUT", debugOutput_);
    SetEnv("MORVANE_MESSAGEBOX", "cancel");
    UnsetEnv("MORVANE_DEVICE");
}

Sandbox::~Sandbox() {
    if (std::getenv("MORVANE_KEEP_SANDBOX") == nullptr) {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
}

std::string Sandbox::HostPath(const std::string& windowsPath) const {
    if (windowsPath.size() < 2 || windowsPath[1] != ':') return windowsPath;
    std::string rest = windowsPath.substr(2);
    for (char& c : rest)
        if (c == '\\') c = '/';
    if (rest.empty() || rest[0] != '/') rest.insert(rest.begin(), '/');
    return driveC_ + rest;
}

void Sandbox::WriteRegistry(const std::string& regText) const { WriteFile(registry_, regText); }

void Sandbox::WriteStandardRegistry(const std::string& windowsFolder, int traceValue) const {
    std::string escaped;
    for (char c : windowsFolder) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    std::ostringstream reg;
    reg << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n"
        << "\"DatafilePath\"=\"" << escaped << "\"\n\n";
    if (traceValue >= 0) {
        char dword[16];
        std::snprintf(dword, sizeof dword, "%08x", static_cast<unsigned>(traceValue));
        reg << "[HKEY_CURRENT_USER\\SOFTWARE\\Korvell\\HALVERD\\Setting]\n"
            << "\"QA_Trace\"=dword:" << dword << "\n";
    }
    WriteRegistry(reg.str());
    fs::create_directories(HostPath(windowsFolder));
}

std::string Sandbox::DebugOutput() const { return ReadFile(debugOutput_); }

std::string Sandbox::TraceLog() const { return ReadFile(HostPath("C:\\QADbgLog.txt")); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool FileExists(const std::string& path) { return fs::exists(path); }

// Through the platform, which the debugger output relies on to notice a
// changed target.
void SetEnv(const char* name, const std::string& value) { SetEnvironmentVariableA(name, value.c_str()); }

void UnsetEnv(const char* name) { SetEnvironmentVariableA(name, nullptr); }

}  // namespace testing_support
