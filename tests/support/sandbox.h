// A private world for one test: a temporary folder standing for drive C,
// a registry file, and the debugger output captured in a file.  The
// constructor points the platform layer's environment variables at it, so
// create it before loading the adapter; the destructor removes it.
#ifndef MORVANE_TESTS_SUPPORT_SANDBOX_H
#define MORVANE_TESTS_SUPPORT_SANDBOX_H

#include <string>

namespace testing_support {

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const { return root_; }
    // The folder that "C:\" maps to.
    const std::string& driveC() const { return driveC_; }
    // "C:\a\b" -> <driveC>/a/b; any other text is returned as it is.
    std::string HostPath(const std::string& windowsPath) const;

    // Replaces the registry file with this .reg text.
    void WriteRegistry(const std::string& regText) const;
    // A registry with "DatafilePath" set to windowsFolder (e.g. "C:\\Korvell\\Data\\")
    // and, when traceValue >= 0, "QA_Trace" = dword traceValue.  The folder is created.
    void WriteStandardRegistry(const std::string& windowsFolder, int traceValue) const;

    // Everything OutputDebugStringA wrote since the sandbox was made.
    std::string DebugOutput() const;
    // The trace log file "C:\QADbgLog.txt", or "" when it does not exist.
    std::string TraceLog() const;

    const std::string& registryPath() const { return registry_; }
    const std::string& debugOutputPath() const { return debugOutput_; }

private:
    std::string root_, driveC_, registry_, debugOutput_;
};

std::string ReadFile(const std::string& path);  // "" when missing
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
void SetEnv(const char* name, const std::string& value);
void UnsetEnv(const char* name);

}  // namespace testing_support

#endif
