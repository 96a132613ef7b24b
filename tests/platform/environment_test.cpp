// Environment variables through the Win32 calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32api.h"

namespace {

const char kName[] = "MORVANE_ENVIRONMENT_TEST";

TEST(EnvironmentVariable, SetValueIsReadBackWithItsLength) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "C:\\Korvell\\Data"));
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(15u, GetEnvironmentVariableA(kName, buffer, sizeof buffer));
    EXPECT_STREQ("C:\\Korvell\\Data", buffer);
    EXPECT_EQ('#', buffer[16]);
    // The C library sees the same variable, as a child process would.
    ASSERT_NE(nullptr, std::getenv(kName));
    EXPECT_STREQ("C:\\Korvell\\Data", std::getenv(kName));
}

TEST(EnvironmentVariable, TooSmallBufferIsUntouchedAndToldTheSizeWithTerminator) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "abcdef"));
    struct Case {
        DWORD size;
        DWORD result;
    };
    static const Case kCases[] = {
        {0, 7},  // 0
        {1, 7},
        {6, 7},
        {7, 6},
    };
    for (const Case& c : kCases) {
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(c.result, GetEnvironmentVariableA(kName, buffer, c.size)) << c.size;
        if (c.result > c.size || c.size == 0) {
            EXPECT_EQ(std::string(8, '#'), std::string(buffer, 8)) << c.size;
        } else {
            EXPECT_STREQ("abcdef", buffer) << c.size;
        }
    }
}

TEST(EnvironmentVariable, UnsetAndMissingVariablesGiveZeroAndTheError) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "x"));
    ASSERT_TRUE(SetEnvironmentVariableA(kName, nullptr));
    char buffer[8] = "kept";
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0u, GetEnvironmentVariableA(kName, buffer, sizeof buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), GetLastError());
    EXPECT_STREQ("kept", buffer);
    EXPECT_EQ(nullptr, std::getenv(kName));
}

TEST(EnvironmentVariable, EmptyValueIsSetAndEmpty) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, ""));
    char buffer[4] = "old";
    EXPECT_EQ(0u, GetEnvironmentVariableA(kName, buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
}

TEST(EnvironmentVariable, NamesWithAnEqualsSignOrEmptyAreRefused) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(SetEnvironmentVariableA("", "x"));
}

}  // namespace
