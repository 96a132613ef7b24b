// Handles the layer never handed out are rejected, never dereferenced.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/win32api.h"

namespace {

TEST(CloseHandle, RejectsHandlesThatAreNotOpen) {
    int notAnObject = 0;
    static const HANDLE kBogus[] = {
        nullptr,                                     // 0
        INVALID_HANDLE_VALUE,
        reinterpret_cast<HANDLE>(&notAnObject),
        reinterpret_cast<HANDLE>(uintptr_t{0x10}),
    };
    for (HANDLE handle : kBogus) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(FALSE, CloseHandle(handle)) << handle;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError()) << handle;
    }
}

}  // namespace
