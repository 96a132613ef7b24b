// Files under Windows names: drive C maps into the sandbox, handles read,
// write and append, and failures carry the Win32 error codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::ReadFile;
using testing_support::Sandbox;

// Writes text through a fresh handle; false when any step failed.
bool WriteVia(const char* name, DWORD access, DWORD creation, const std::string& text) {
    HANDLE file = CreateFileA(name, access, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0xDEAD;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return CloseHandle(file) == TRUE && ok == TRUE && written == text.size();
}

// Drive C names, whatever their case, dots and doubled separators, land in
// the drive folder, existing folders found without regard to case.
TEST(Files, WindowsNamesLandInTheDriveFolder) {
    Sandbox sandbox;
    testing_support::WriteFile(sandbox.driveC() + "/Korvell/Data/keep", "");
    static const std::pair<const char*, const char*> kCases[] = {  // the name, its path under the drive folder
        {"C:\\QADbgLog.txt", "/QADbgLog.txt"},
        {"c:\\Korvell\\Data\\y.txt", "/Korvell/Data/y.txt"},
        {"\\Korvell\\root.txt", "/Korvell/root.txt"},
        {"C:\\korvell\\DATA\\New.txt", "/Korvell/Data/New.txt"},
        {"C:\\..\\..\\dots.txt", "/dots.txt"},
        {"C:\\Korvell\\..\\.\\dots.txt", "/dots.txt"},
        {"C:\\\\dots.txt", "/dots.txt"},
        {"C:dots.txt", "/dots.txt"},
    };
    for (const auto& [name, hostPath] : kCases) {
        ASSERT_TRUE(WriteVia(name, GENERIC_WRITE, CREATE_ALWAYS, name)) << name;
        EXPECT_EQ(name, ReadFile(sandbox.driveC() + hostPath)) << name;
    }
    EXPECT_FALSE(testing_support::FileExists(sandbox.root() + "/dots.txt"));
    HANDLE file = CreateFileA("C:\\KORVELL\\data\\y.TXT", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(TRUE, CloseHandle(file));
}

// Host paths and relative names are kept; without $MORVANE_DRIVE_C drive C
// is ~/.morvane/drive_c.
TEST(Files, HostAndRelativePathsAndTheDefaultDrive) {
    Sandbox sandbox;
    const std::string hostPath = sandbox.root() + "/host.txt";
    ASSERT_TRUE(WriteVia(hostPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS, "host"));
    EXPECT_EQ("host", ReadFile(hostPath));
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(sandbox.root().c_str()));
    testing_support::WriteFile(sandbox.root() + "/sub/keep", "");
    const bool written = WriteVia("sub\\rel.txt", GENERIC_WRITE, CREATE_ALWAYS, "relative");
    ASSERT_EQ(0, chdir(previous));
    ASSERT_TRUE(written);
    EXPECT_EQ("relative", ReadFile(sandbox.root() + "/sub/rel.txt"));
    testing_support::SetEnv("HOME", sandbox.root() + "/home");
    testing_support::UnsetEnv("MORVANE_DRIVE_C");
    ASSERT_TRUE(WriteVia("C:\\default.txt", GENERIC_WRITE, CREATE_ALWAYS, "made"));
    EXPECT_EQ("made", ReadFile(sandbox.root() + "/home/.morvane/drive_c/default.txt"));
}

TEST(Files, AppendAccessWritesAtTheEndOtherAccessAtTheStart) {
    Sandbox sandbox;
    const struct {
        DWORD access, creation;
        const char *text, *after;
    } kSteps[] = {
        {FILE_APPEND_DATA, OPEN_ALWAYS, "first\n", "first\n"},
        {FILE_APPEND_DATA, OPEN_ALWAYS, "second\n", "first\nsecond\n"},
        {GENERIC_WRITE, OPEN_ALWAYS, "FIRST", "FIRST\nsecond\n"},
        {GENERIC_WRITE, CREATE_ALWAYS, "new", "new"},
    };
    for (const auto& step : kSteps) {
        ASSERT_TRUE(WriteVia("C:\\log.txt", step.access, step.creation, step.text)) << step.text;
        EXPECT_EQ(step.after, ReadFile(sandbox.HostPath("C:\\log.txt")));
    }
}

TEST(Files, ReadsSizesAndEndOfFile) {
    Sandbox sandbox;
    testing_support::WriteFile(sandbox.HostPath("C:\\data.bin"), std::string("abc\0def", 7));
    HANDLE file = CreateFileA("C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD high = 0xFFFF;
    EXPECT_EQ(7u, GetFileSize(file, &high));
    EXPECT_EQ(0u, high);
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    DWORD read = 0;
    EXPECT_EQ(TRUE, ::ReadFile(file, buffer, 5, &read, nullptr));
    EXPECT_EQ(5u, read);
    EXPECT_EQ(0, std::memcmp(buffer, "abc\0d#", 6));
    EXPECT_EQ(TRUE, ::ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(2u, read);
    EXPECT_EQ(TRUE, ::ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(0u, read);  // end of file is success with nothing read
    SetLastError(0);
    EXPECT_EQ(FALSE, WriteFile(file, "x", 1, &read, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(TRUE, CloseHandle(file));
    EXPECT_EQ(FALSE, CloseHandle(file));
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(file, nullptr));
}

TEST(Files, OpenAndDeleteFailuresCarryWin32Codes) {
    Sandbox sandbox;
    testing_support::WriteFile(sandbox.driveC() + "/Folder/keep", "");
    static const struct {
        const char* name;
        DWORD creation;  // 0: DeleteFileA
        DWORD error;
    } kCases[] = {
        {"C:\\missing.txt", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"C:\\NoFolder\\new.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"C:\\NoFolder\\new.txt", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"D:\\other-drive.txt", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"\\\\server\\share\\x.txt", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"C:\\Folder", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"C:\\bad-disposition.txt", 1 /* CREATE_NEW */, ERROR_INVALID_PARAMETER},
        {"C:\\missing.txt", 0, ERROR_FILE_NOT_FOUND},
        {"C:\\Folder", 0, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.creation);
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(c.creation == 0 ? DeleteFileA(c.name) == FALSE
                                    : CreateFileA(c.name, GENERIC_READ, 0, nullptr, c.creation, 0, nullptr) ==
                                          INVALID_HANDLE_VALUE);
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_FALSE(testing_support::FileExists(sandbox.driveC() + "/bad-disposition.txt"));
    testing_support::WriteFile(sandbox.HostPath("C:\\gone.txt"), "x");
    EXPECT_EQ(TRUE, DeleteFileA("C:\\gone.txt"));
    EXPECT_FALSE(testing_support::FileExists(sandbox.HostPath("C:\\gone.txt")));
}

// A view holds the file's bytes after both handles are closed, and after
// the file is replaced; what cannot be mapped fails with Windows' codes.
TEST(Files, ViewsOfAFileOutliveItsHandles) {
    Sandbox sandbox;
    testing_support::WriteFile(sandbox.HostPath("C:\\image.json"), "{\"records\": []}");
    testing_support::WriteFile(sandbox.HostPath("C:\\empty.json"), "");
    HANDLE file = CreateFileA("C:\\image.json", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(nullptr, mapping);
    EXPECT_EQ(nullptr, MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 16));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(TRUE, CloseHandle(mapping));
    EXPECT_EQ(TRUE, CloseHandle(file));
    testing_support::WriteFile(sandbox.HostPath("C:\\new.json"), "{\"records\":[1]}");
    ASSERT_EQ(0, rename(sandbox.HostPath("C:\\new.json").c_str(), sandbox.HostPath("C:\\image.json").c_str()));
    EXPECT_EQ("{\"records\": []}", std::string(view, 15));  // not the new file's
    EXPECT_EQ(TRUE, UnmapViewOfFile(view));
    EXPECT_EQ(FALSE, UnmapViewOfFile(view));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());

    static const struct {
        const char* name;
        DWORD access, sizeLow;  // sizeLow: past the 15 bytes of image.json
        DWORD error;
    } kCases[] = {
        {"C:\\empty.json", GENERIC_READ, 0, ERROR_FILE_INVALID},
        {"C:\\image.json", GENERIC_WRITE, 0, ERROR_ACCESS_DENIED},
        {"C:\\image.json", GENERIC_READ, 16, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.access << " " << c.sizeLow);
        file = CreateFileA(c.name, c.access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        SetLastError(0);
        EXPECT_EQ(nullptr, CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, c.sizeLow, nullptr));
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ(TRUE, CloseHandle(file));
    }
}

// Handles never handed out are rejected, never dereferenced, by every
// call that takes a file or process handle.
TEST(Files, ForeignHandlesAreInvalid) {
    int notAFile = 0;
    char buffer[4];
    DWORD count = 77;
    for (HANDLE handle : {HANDLE{nullptr}, INVALID_HANDLE_VALUE, static_cast<HANDLE>(&notAFile),
                          reinterpret_cast<HANDLE>(uintptr_t{0x10})}) {
        const std::pair<const char*, bool> kCalls[] = {
            {"ReadFile", ::ReadFile(handle, buffer, 4, &count, nullptr) == FALSE && count == 0},
            {"WriteFile", WriteFile(handle, buffer, 4, &count, nullptr) == FALSE},
            {"CloseHandle", CloseHandle(handle) == FALSE},
            {"GetFileSize", GetFileSize(handle, nullptr) == INVALID_FILE_SIZE},
            {"CreateFileMappingA", CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr) == nullptr},
            {"MapViewOfFile", MapViewOfFile(handle, FILE_MAP_READ, 0, 0, 0) == nullptr},
            {"WaitForSingleObject", WaitForSingleObject(handle, 0) == WAIT_FAILED},
            {"GetExitCodeProcess", GetExitCodeProcess(handle, &count) == FALSE},
            {"TerminateProcess", TerminateProcess(handle, 0) == FALSE},
        };
        for (const auto& [name, failed] : kCalls) EXPECT_TRUE(failed) << name << " " << handle;
        SetLastError(0);
        EXPECT_EQ(FALSE, CloseHandle(handle));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
}

}  // namespace
