// The debugger output and message boxes, configured by the environment.
#include <gtest/gtest.h>

#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/host_services.h"
#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

// $MORVANE_DEBUG_OUTPUT names the file the text is appended to, "-" is
// standard error, and without it the text goes nowhere.
TEST(OutputDebugString, GoesWhereTheEnvironmentSays) {
    static const struct {
        const char* setting;  // null: unset, "": the sandbox's file
        const char* file;
        const char* standardError;
    } kCases[] = {
        {"", "earlier\n***** CMorvaneApp\nsecond", ""},
        {nullptr, "earlier\n", ""},
        {"-", "earlier\n", "***** CMorvaneApp\nsecond"},
    };
    for (const auto& c : kCases) {
        Sandbox sandbox;
        testing_support::WriteFile(sandbox.debugOutputPath(), "earlier\n");
        if (c.setting == nullptr) testing_support::UnsetEnv("MORVANE_DEBUG_OUTPUT");
        if (c.setting != nullptr && *c.setting != '\0') testing_support::SetEnv("MORVANE_DEBUG_OUTPUT", c.setting);
        testing::internal::CaptureStderr();
        for (const char* text : {"***** CMorvaneApp\n", "", static_cast<const char*>(nullptr), "second"})
            OutputDebugStringA(text);
        EXPECT_EQ(c.standardError, testing::internal::GetCapturedStderr()) << c.file;
        EXPECT_EQ(c.file, sandbox.DebugOutput());
    }
}

TEST(MessageBox, AnswersFromTheEnvironment) {
    Sandbox sandbox;
    struct Case {
        const char* setting;
        UINT type;
        int answer;
    };
    static const Case kCases[] = {
        {"ok", MB_OKCANCEL | MB_ICONQUESTION | MB_TOPMOST, IDOK},  // 0
        {"OK", MB_OKCANCEL, IDOK},
        {"cancel", MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},
        {"Cancel", MB_OKCANCEL, IDCANCEL},
        {"ok", MB_OK, IDOK},
        {"cancel", MB_OK, IDOK},  // 5: a box with only OK has no other answer
    };
    for (const Case& c : kCases) {
        testing_support::SetEnv("MORVANE_MESSAGEBOX", c.setting);
        EXPECT_EQ(c.answer, MessageBoxA(nullptr, "Renew the pairing?", "Quenda", c.type)) << c.setting;
    }
}

// What a host arranges stands until it arranges otherwise; other answers
// than OK and Cancel are refused and change nothing.
TEST(MessageBox, AnswersWhatTheHostArranged) {
    Sandbox sandbox;
    testing_support::UnsetEnv("MORVANE_MESSAGEBOX");
    ASSERT_TRUE(PlatformAnswerMessageBoxes(IDOK));
    EXPECT_FALSE(PlatformAnswerMessageBoxes(7));
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "Renew the pairing?", "Quenda", MB_OKCANCEL));
    ASSERT_TRUE(PlatformAnswerMessageBoxes(IDCANCEL));
    EXPECT_EQ(IDCANCEL, MessageBoxA(nullptr, "Renew the pairing?", "Quenda", MB_OKCANCEL));
}

TEST(LocalPath, NamesTheFileOfAWindowsPathOnThisHost) {
    Sandbox sandbox;
    char path[MAX_PATH] = {0};
    const DWORD length = PlatformLocalPath("C:\\QADbgLog.txt", path, sizeof path);
    EXPECT_EQ(sandbox.HostPath("C:\\QADbgLog.txt"), path);
    EXPECT_EQ(strlen(path), length);
    EXPECT_EQ(0u, PlatformLocalPath("C:\\QADbgLog.txt", path, 4));
    EXPECT_EQ(0u, PlatformLocalPath("D:\\QADbgLog.txt", path, sizeof path));
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

TEST(MessageBox, WithoutSettingOrTerminalTheBoxIsCancelled) {
    Sandbox sandbox;
    testing_support::UnsetEnv("MORVANE_MESSAGEBOX");
    EXPECT_EQ(IDCANCEL, AnswerWithoutTerminal(MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(IDOK, AnswerWithoutTerminal(MB_OK));
    testing_support::SetEnv("MORVANE_MESSAGEBOX", "maybe");
    EXPECT_EQ(IDCANCEL, AnswerWithoutTerminal(MB_OKCANCEL));
}

}  // namespace
