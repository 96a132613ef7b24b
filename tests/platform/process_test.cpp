// CreateProcessA, WaitForSingleObject, GetExitCodeProcess, TerminateProcess
// and CloseHandle with the test child program (tests/programs), which
// reports its working folder and arguments.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

const std::string kChild = std::string(MORVANE_BIN_DIR) + "/morvane-test-child";

class Processes : public ::testing::Test {
protected:
    void SetUp() override {
        report_ = sandbox_.root() + "/report.txt";
        testing_support::SetEnv("MORVANE_TEST_CHILD_REPORT", report_);
    }
    void TearDown() override { testing_support::UnsetEnv("MORVANE_TEST_CHILD_REPORT"); }

    // Copies the child program to a Windows path on drive C.
    void InstallChild(const std::string& windowsPath) {
        const std::filesystem::path target = sandbox_.HostPath(windowsPath);
        std::filesystem::create_directories(target.parent_path());
        std::filesystem::copy_file(kChild, target, std::filesystem::copy_options::overwrite_existing);
    }

    BOOL Start(const char* applicationName, std::string line, const char* folder = nullptr,
               const std::string& environment = "") {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        info_ = PROCESS_INFORMATION{};
        return CreateProcessA(applicationName, line.data(), nullptr, nullptr, FALSE, 0,
                              environment.empty() ? nullptr : const_cast<char*>(environment.data()), folder, &startup,
                              &info_);
    }

    // Waits for the child, closes its handles and returns its exit code.
    DWORD Finish() {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info_.hProcess, 10000));
        DWORD code = 0xDEADBEEF;
        EXPECT_EQ(TRUE, GetExitCodeProcess(info_.hProcess, &code));
        EXPECT_EQ(TRUE, CloseHandle(info_.hThread));
        EXPECT_EQ(TRUE, CloseHandle(info_.hProcess));
        return code;
    }

    // The child's report: its working folder, then its arguments.
    std::vector<std::string> Report() const {
        std::vector<std::string> lines;
        std::istringstream in(testing_support::ReadFile(report_));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::vector<std::string> Arguments() const {
        const std::vector<std::string> lines = Report();
        return lines.empty() ? lines : std::vector<std::string>(lines.begin() + 1, lines.end());
    }

    Sandbox sandbox_;
    std::string report_;
    PROCESS_INFORMATION info_{};
};

TEST_F(Processes, ArgumentsAreSplitByTheWindowsRules) {
    static const struct {
        const char* arguments;
        std::vector<std::string> expected;
    } kCases[] = {
        {R"(a b c)", {"a", "b", "c"}},
        {R"("a b c" d e)", {"a b c", "d", "e"}},
        {R"("ab\"c" "\\" d)", {"ab\"c", "\\", "d"}},
        {R"(a\\\b d"e f"g h)", {R"(a\\\b)", "de fg", "h"}},
        {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
        {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
        {R"(a"b"" c d)", {"ab\"", "c", "d"}},
        {R"("" x)", {"", "x"}},
        {"  \ta\t b  ", {"a", "b"}},
        {R"("unterminated x)", {"unterminated x"}},
        {R"(C:\Program Files\x\ y)", {R"(C:\Program)", R"(Files\x\)", "y"}},
        {R"("C:\dir\\" next)", {R"(C:\dir\)", "next"}},
        {"", {}},
    };
    for (const auto& row : kCases) {
        const std::string line = "\"" + kChild + "\" " + row.arguments;
        SCOPED_TRACE(line);
        ASSERT_EQ(TRUE, Start(nullptr, line));
        EXPECT_EQ(0u, Finish());
        std::vector<std::string> expected = row.expected;
        expected.insert(expected.begin(), kChild);
        EXPECT_EQ(expected, Arguments());
    }
}

// The program is the longest prefix of an unquoted command line that names
// a file, with or without ".exe"; a program that is not there fails, and an
// application name is used as given: no ".exe" is assumed for it.
TEST_F(Processes, ProgramPathsWithBlanksAndMissingPrograms) {
    InstallChild("C:\\Program Files\\Korvell\\Wait Box.exe");
    InstallChild("C:\\Program");  // a shorter prefix that also exists: the longer wins
    InstallChild("C:\\Korvell\\Lullpane.exe");
    InstallChild("C:\\Korvell\\Data\\Lullpane.exe");
    static const struct {
        const char* commandLine;
        std::vector<std::string> expected;  // empty: ERROR_FILE_NOT_FOUND
    } kCases[] = {
        {R"("C:\Program Files\Korvell\Wait Box.exe" /M)", {R"(C:\Program Files\Korvell\Wait Box.exe)", "/M"}},
        {R"(C:\Program Files\Korvell\Wait Box.exe /M)", {R"(C:\Program Files\Korvell\Wait Box.exe)", "/M"}},
        {R"(C:\Program Files\Korvell\Wait Box one two)", {R"(C:\Program Files\Korvell\Wait Box)", "one", "two"}},
        {R"("C:\Program Files\Korvell\Wait Box")", {R"(C:\Program Files\Korvell\Wait Box)"}},
        {R"(C:\Program Files\Korvell\Other.exe)", {R"(C:\Program)", R"(Files\Korvell\Other.exe)"}},
        {R"(C:\Korvell\Lullpane.exe)", {R"(C:\Korvell\Lullpane.exe)"}},
        {R"(C:\korvell\LULLPANE.EXE /M)", {R"(C:\korvell\LULLPANE.EXE)", "/M"}},
        {R"(C:\Korvell\Missing.exe /M)", {}},
        {R"("C:\Korvell\Data\Lullpane /M")", {}},
        {R"(C:\Korvell\Data\Lullpane.ex)", {}},
        {R"(D:\Korvell\Data\Lullpane.exe)", {}},
        {R"("")", {}},
    };
    for (const auto& row : kCases) {
        SCOPED_TRACE(row.commandLine);
        SetLastError(0xDEADBEEF);
        ASSERT_EQ(row.expected.empty() ? FALSE : TRUE, Start(nullptr, row.commandLine));
        if (row.expected.empty()) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
            continue;
        }
        EXPECT_EQ(0u, Finish());
        EXPECT_EQ(row.expected, Arguments());
    }
    EXPECT_EQ(FALSE, Start("C:\\Korvell\\Data\\Lullpane", "Lullpane"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// An application name with a command line of its own; exit codes, the
// working folder and an environment block replacing the caller's.
TEST_F(Processes, RunsWithTheGivenNameFolderAndEnvironment) {
    ASSERT_EQ(TRUE, Start(kChild.c_str(), "shown-name exit 4"));
    EXPECT_NE(0u, info_.dwProcessId);
    EXPECT_EQ(4u, Finish());
    EXPECT_EQ((std::vector<std::string>{"shown-name", "exit", "4"}), Arguments());
    for (DWORD code : {0, 255}) {
        ASSERT_EQ(TRUE, Start(nullptr, "\"" + kChild + "\" exit " + std::to_string(code)));
        EXPECT_EQ(code, Finish());
    }
    std::filesystem::create_directories(sandbox_.HostPath("C:\\Korvell\\Work"));
    ASSERT_EQ(TRUE, Start(nullptr, "\"" + kChild + "\"", "C:\\Korvell\\Work"));
    EXPECT_EQ(0u, Finish());
    ASSERT_FALSE(Report().empty());
    EXPECT_EQ(std::filesystem::canonical(sandbox_.HostPath("C:\\Korvell\\Work")).string(), Report()[0]);
    SetLastError(0);
    EXPECT_EQ(FALSE, Start(nullptr, "\"" + kChild + "\"", "C:\\Nowhere"));
    EXPECT_EQ(267u, GetLastError());  // ERROR_DIRECTORY

    // The child writes its report where its own environment says.
    std::filesystem::remove(report_);
    const std::string elsewhere = sandbox_.root() + "/elsewhere.txt";
    const std::string block = "MORVANE_TEST_CHILD_REPORT=" + elsewhere + '\0' + "OTHER=1" + '\0' + '\0';
    ASSERT_EQ(TRUE, Start(nullptr, "\"" + kChild + "\" from-block", nullptr, block));
    EXPECT_EQ(0u, Finish());
    EXPECT_FALSE(testing_support::FileExists(report_));
    EXPECT_NE(std::string::npos, testing_support::ReadFile(elsewhere).find("\nfrom-block\n"));
}

TEST_F(Processes, TerminateARunningChild) {
    ASSERT_EQ(TRUE, Start(nullptr, "\"" + kChild + "\" sleep 20000"));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(info_.hProcess, 50));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(info_.hThread, 0));
    DWORD code = 0;
    EXPECT_EQ(TRUE, GetExitCodeProcess(info_.hProcess, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    // A thread handle is no process handle.
    SetLastError(0);
    EXPECT_EQ(FALSE, GetExitCodeProcess(info_.hThread, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(FALSE, TerminateProcess(info_.hThread, 0));

    EXPECT_EQ(TRUE, TerminateProcess(info_.hProcess, 7));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info_.hThread, INFINITE));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info_.hProcess, INFINITE));
    SetLastError(0);
    EXPECT_EQ(FALSE, TerminateProcess(info_.hProcess, 9));  // already ended
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(7u, Finish());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
    const auto slept = std::chrono::steady_clock::now();
    Sleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - slept, std::chrono::milliseconds(30));
}

}  // namespace
