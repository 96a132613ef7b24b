// What the environment configures: variables through the Win32 calls, the
// debugger output's target and message box answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/debug_output.h"
#include "platform/host_services.h"
#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

const char kName[] = "MORVANE_ENVIRONMENT_TEST";

// A value is read back with its length, and the C library sees it as a child process would; a buffer too
// small for it and its terminator is left alone and told the size needed.  Unset and empty differ; names
// with "=" or empty are refused.
TEST(EnvironmentVariable, SetReadUnsetAndRefused) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "abcdef"));
    EXPECT_STREQ("abcdef", std::getenv(kName));
    for (const auto& c : std::vector<std::pair<DWORD, DWORD>>{{0, 7}, {1, 7}, {6, 7}, {7, 6}, {32, 6}}) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(c.second, GetEnvironmentVariableA(kName, buffer, c.first)) << c.first;
        const std::string expected = c.second > c.first ? std::string(32, '#') : std::string("abcdef\0#", 8);
        EXPECT_EQ(expected, std::string(buffer, expected.size())) << c.first;
    }
    ASSERT_TRUE(SetEnvironmentVariableA(kName, nullptr));
    char buffer[8] = "kept";
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0u, GetEnvironmentVariableA(kName, buffer, sizeof buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), GetLastError());
    EXPECT_STREQ("kept", buffer);
    EXPECT_EQ(nullptr, std::getenv(kName));
    ASSERT_TRUE(SetEnvironmentVariableA(kName, ""));
    EXPECT_EQ(0u, GetEnvironmentVariableA(kName, buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(SetEnvironmentVariableA("", "x"));
}

// $MORVANE_DEBUG_OUTPUT names the file the text is appended to, "-" is
// standard error, and without it (or empty) the text goes nowhere, which
// is also when the debugger output is said to have no reader.
TEST(OutputDebugString, GoesWhereTheEnvironmentSays) {
    static const struct {
        const char *setting, *file, *standardError;  // setting null: unset, "sandbox": the sandbox's file
        BOOL hasReader;
    } kCases[] = {
        {"sandbox", "earlier\n***** CMorvaneApp\nsecond", "", TRUE},
        {nullptr, "earlier\n", "", FALSE},
        {"", "earlier\n", "", FALSE},
        {"-", "earlier\n", "***** CMorvaneApp\nsecond", TRUE},
    };
    for (const auto& c : kCases) {
        Sandbox sandbox;
        EXPECT_TRUE(PlatformDebugOutputHasReader());
        testing_support::WriteFile(sandbox.debugOutputPath(), "earlier\n");
        if (c.setting == nullptr) testing_support::UnsetEnv("MORVANE_DEBUG_OUTPUT");
        if (c.setting != nullptr && std::string(c.setting) != "sandbox")
            testing_support::SetEnv("MORVANE_DEBUG_OUTPUT", c.setting);
        EXPECT_EQ(c.hasReader, PlatformDebugOutputHasReader()) << c.file;
        testing::internal::CaptureStderr();
        for (const char* text : {"***** CMorvaneApp\n", "", static_cast<const char*>(nullptr), "second"})
            OutputDebugStringA(text);
        EXPECT_EQ(c.standardError, testing::internal::GetCapturedStderr()) << c.file;
        EXPECT_EQ(c.file, sandbox.DebugOutput());
    }
}

// Runs MessageBoxA in a child that has left its controlling terminal (a
// new session has none) and returns its answer.
int AnswerWithoutTerminal(UINT type) {
    pid_t child = fork();
    if (child == 0) {
        setsid();
        _exit(MessageBoxA(nullptr, "text", "caption", type));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// $MORVANE_MESSAGEBOX answers "ok" or "cancel" in any case; what a host arranges stands until it arranges
// otherwise; with neither, or another word, and no terminal to ask on, the box is cancelled.  A box with
// only OK has no other answer.
TEST(MessageBox, AnswersFromTheEnvironmentTheHostOrCancels) {
    Sandbox sandbox;
    static const struct {
        const char* setting;  // null: unset
        int arranged;         // 0: nothing arranged
        UINT type;
        int answer;
    } kCases[] = {
        {"ok", 0, MB_OKCANCEL | MB_ICONQUESTION | MB_TOPMOST, IDOK},
        {"OK", 0, MB_OKCANCEL, IDOK},
        {"Cancel", 0, MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},
        {"cancel", 0, MB_OK, IDOK},
        {nullptr, 0, MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},
        {nullptr, 0, MB_OK, IDOK},
        {"maybe", 0, MB_OKCANCEL, IDCANCEL},
        {nullptr, IDOK, MB_OKCANCEL, IDOK},
        {nullptr, IDCANCEL, MB_OKCANCEL, IDCANCEL},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << (c.setting ? c.setting : "unset") << " " << c.arranged << " " << c.type);
        if (c.setting == nullptr) testing_support::UnsetEnv("MORVANE_MESSAGEBOX");
        else testing_support::SetEnv("MORVANE_MESSAGEBOX", c.setting);
        if (c.arranged != 0) {
            ASSERT_TRUE(PlatformAnswerMessageBoxes(c.arranged));
            EXPECT_FALSE(PlatformAnswerMessageBoxes(7)) << "only OK and Cancel can be arranged";
            EXPECT_EQ(c.answer, MessageBoxA(nullptr, "Renew the pairing?", "Quenda", c.type));
        } else {
            EXPECT_EQ(c.answer, AnswerWithoutTerminal(c.type));
        }
    }
}

}  // namespace
