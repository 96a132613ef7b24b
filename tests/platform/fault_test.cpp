// Injected faults: PlatformFailCall makes the nth call of the named function from now on fail the way the
// Win32 function fails, once or from then on, without touching anything else; PlatformClearFaults ends them.
// (The heap faults, and CreateFileA's, are the unit and export tests' tools.)
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/platform_test.h"
#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;

// One call of a function: 0 on success, else its error code (a returned
// code, or GetLastError).
struct FaultRow {
    const char* function;
    DWORD error;
    std::function<DWORD()> call;
};

DWORD LastErrorIf(bool failed) { return failed ? GetLastError() : 0; }

TEST(PlatformFaults, FailTheNamedCallOnceOrFromThenOn) {
    testing_support::Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data\\", 1);
    const char kIni[] = "C:\\Korvell\\Data\\ISEnvSet.ini";
    testing_support::WriteFile(sandbox.HostPath(kIni), "[s]\r\nk=v\r\n");
    const std::string file = sandbox.HostPath("C:\\f.txt");
    const std::string child = std::string(MORVANE_BIN_DIR) + "/morvane-test-child";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Korvell\\HALVERD\\Setting", 0, KEY_READ, &key));
    HANDLE appended = CreateFileA("C:\\appended.txt", FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    const FaultRow kRows[] = {
        {"RegOpenKeyExA", ERROR_ACCESS_DENIED, [] {
             HKEY opened = nullptr;
             const LONG code = RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Korvell", 0, KEY_READ, &opened);
             if (code == ERROR_SUCCESS) RegCloseKey(opened);
             return static_cast<DWORD>(code);
         }},
        {"RegQueryValueExA", ERROR_ACCESS_DENIED, [&] {
             DWORD value = 0, size = sizeof value;
             return static_cast<DWORD>(
                 RegQueryValueExA(key, "QA_Trace", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
         }},
        {"GetPrivateProfileStringA", ERROR_ACCESS_DENIED, [&] {
             char text[8];
             GetPrivateProfileStringA("s", "k", "dflt", text, sizeof text, kIni);
             return LastErrorIf(std::string(text) != "v");
         }},
        {"WritePrivateProfileStringA", ERROR_ACCESS_DENIED, [&] {
             const bool failed = !WritePrivateProfileStringA("s", "k", "v", kIni);
             EXPECT_EQ("[s]\r\nk=v\r\n", ReadFile(sandbox.HostPath(kIni)));
             return LastErrorIf(failed);
         }},
        {"WriteFile", ERROR_WRITE_FAULT, [&] {
             DWORD written = 77;
             const bool failed = !WriteFile(appended, "a", 1, &written, nullptr);
             EXPECT_EQ(failed ? 0u : 1u, written);
             return LastErrorIf(failed);
         }},
        {"ReadFile", ERROR_READ_FAULT, [&] {
             testing_support::WriteFile(file, "abc");
             HANDLE opened = CreateFileA("C:\\f.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
             char bytes[4];
             DWORD read = 0;
             const bool failed = !::ReadFile(opened, bytes, sizeof bytes, &read, nullptr);
             const DWORD error = LastErrorIf(failed);
             CloseHandle(opened);
             return error;
         }},
        {"DeleteFileA", ERROR_ACCESS_DENIED, [&] {
             testing_support::WriteFile(file, "x");
             const bool failed = !DeleteFileA("C:\\f.txt");
             EXPECT_EQ(failed, FileExists(file));
             return LastErrorIf(failed);
         }},
        {"LoadLibraryA", ERROR_MOD_NOT_FOUND, [] {
             HMODULE module = LoadLibraryA(MORVANE_TEST_DATA "/Gantry1.dll");
             return module != nullptr && FreeLibrary(module) ? 0 : GetLastError();
         }},
        {"CreateProcessA", ERROR_FILE_NOT_FOUND, [&] {
             std::string line = "\"" + child + "\" exit 0";
             STARTUPINFOA startup{};
             PROCESS_INFORMATION info{};
             if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
                 return GetLastError();
             WaitForSingleObject(info.hProcess, 10000);
             CloseHandle(info.hThread);
             CloseHandle(info.hProcess);
             return DWORD{0};
         }},
    };
    for (const FaultRow& row : kRows) {
        SCOPED_TRACE(row.function);
        PlatformFailCall(row.function, 2, 0);
        EXPECT_EQ(0u, row.call()) << "first call";
        SetLastError(0);
        EXPECT_EQ(row.error, row.call()) << "second call";
        EXPECT_EQ(0u, row.call()) << "the fault fired once";
        PlatformFailCall(row.function, 1, 1);
        EXPECT_EQ(row.error, row.call());
        EXPECT_EQ(row.error, row.call()) << "the fault persists";
        PlatformClearFaults();
        EXPECT_EQ(0u, row.call()) << "after clearing";
    }
    EXPECT_EQ("aaa", ReadFile(sandbox.HostPath("C:\\appended.txt"))) << "only successful writes wrote";
    CloseHandle(appended);
    RegCloseKey(key);
}

}  // namespace
