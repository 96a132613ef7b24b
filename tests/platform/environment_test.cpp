// Environment variables through the Win32 calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32api.h"

namespace {

const char kName[] = "MORVANE_ENVIRONMENT_TEST";

// A value is read back with its length; a buffer too small for it and its
// terminator is left alone and told the size needed.
TEST(EnvironmentVariable, SetValueIsReadBackOrItsSizeTold) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "abcdef"));
    // The C library sees the same variable, as a child process would.
    ASSERT_NE(nullptr, std::getenv(kName));
    EXPECT_STREQ("abcdef", std::getenv(kName));
    static const DWORD kCases[][2] = {{0, 7}, {1, 7}, {6, 7}, {7, 6}, {32, 6}};
    for (const auto& c : kCases) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(c[1], GetEnvironmentVariableA(kName, buffer, c[0])) << c[0];
        const std::string expected = c[1] > c[0] ? std::string(32, '#') : std::string("abcdef\0#", 8);
        EXPECT_EQ(expected, std::string(buffer, expected.size())) << c[0];
    }
}

TEST(EnvironmentVariable, UnsetEmptyAndRefusedNames) {
    ASSERT_TRUE(SetEnvironmentVariableA(kName, "x"));
    ASSERT_TRUE(SetEnvironmentVariableA(kName, nullptr));
    char buffer[8] = "kept";
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0u, GetEnvironmentVariableA(kName, buffer, sizeof buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), GetLastError());
    EXPECT_STREQ("kept", buffer);
    EXPECT_EQ(nullptr, std::getenv(kName));
    // An empty value is set, and empty.
    ASSERT_TRUE(SetEnvironmentVariableA(kName, ""));
    EXPECT_EQ(0u, GetEnvironmentVariableA(kName, buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(SetEnvironmentVariableA("", "x"));
}

}  // namespace
