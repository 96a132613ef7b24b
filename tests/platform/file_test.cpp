// Files under Windows names: drive C maps into the sandbox, handles read,
// write and append, and failures carry the Win32 error codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unistd.h>

#include "platform/platform_test.h"
#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

class FileTest : public ::testing::Test {
protected:
    // Writes text through a fresh handle; false when any step failed.
    static bool WriteVia(const char* name, DWORD access, DWORD creation, const std::string& text) {
        HANDLE file = CreateFileA(name, access, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0xDEAD;
        BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        bool closed = CloseHandle(file) == TRUE;
        return ok == TRUE && written == text.size() && closed;
    }
    Sandbox sandbox_;
};

TEST_F(FileTest, DriveCPathsLandInTheDriveFolder) {
    ASSERT_TRUE(WriteVia("C:\\QADbgLog.txt", GENERIC_WRITE, CREATE_ALWAYS, "one\n"));
    EXPECT_EQ("one\n", testing_support::ReadFile(sandbox_.driveC() + "/QADbgLog.txt"));
    testing_support::WriteFile(sandbox_.driveC() + "/Korvell/Data/x.txt", "");
    ASSERT_TRUE(WriteVia("c:\\Korvell\\Data\\y.txt", GENERIC_WRITE, CREATE_ALWAYS, "lower-case drive"));
    EXPECT_EQ("lower-case drive", testing_support::ReadFile(sandbox_.driveC() + "/Korvell/Data/y.txt"));
    ASSERT_TRUE(WriteVia("\\Korvell\\root.txt", GENERIC_WRITE, CREATE_ALWAYS, "current drive root"));
    EXPECT_EQ("current drive root", testing_support::ReadFile(sandbox_.driveC() + "/Korvell/root.txt"));
}

TEST_F(FileTest, DriveCDefaultsToAFolderUnderHome) {
    testing_support::SetEnv("HOME", sandbox_.root() + "/home");
    testing_support::UnsetEnv("MORVANE_DRIVE_C");
    ASSERT_TRUE(WriteVia("C:\\default.txt", GENERIC_WRITE, CREATE_ALWAYS, "made"));
    EXPECT_EQ("made", testing_support::ReadFile(sandbox_.root() + "/home/.morvane/drive_c/default.txt"));
}

TEST_F(FileTest, DotsAndDoubledSeparatorsStayOnTheDrive) {
    testing_support::WriteFile(sandbox_.driveC() + "/Korvell/keep", "");
    static const char* const kNames[] = {
        "C:\\..\\..\\dots.txt",                   // 0
        "C:\\Korvell\\..\\.\\dots.txt",
        "C:\\\\dots.txt",
        "C:dots.txt",
    };
    for (const char* name : kNames) {
        ASSERT_TRUE(WriteVia(name, GENERIC_WRITE, CREATE_ALWAYS, name)) << name;
        EXPECT_EQ(name, testing_support::ReadFile(sandbox_.driveC() + "/dots.txt"));
    }
    EXPECT_FALSE(testing_support::FileExists(sandbox_.root() + "/dots.txt"));
}

TEST_F(FileTest, FolderNamesIgnoreCaseAsOnWindows) {
    testing_support::WriteFile(sandbox_.driveC() + "/Korvell/Data/ISEnvSet.ini", "[s]\n");
    HANDLE file = CreateFileA("C:\\KORVELL\\data\\isenvset.INI", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char buffer[8] = {};
    DWORD read = 0;
    EXPECT_EQ(TRUE, ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(4u, read);
    EXPECT_EQ(TRUE, CloseHandle(file));
    ASSERT_TRUE(WriteVia("C:\\korvell\\DATA\\New.txt", GENERIC_WRITE, CREATE_ALWAYS, "n"));
    EXPECT_EQ("n", testing_support::ReadFile(sandbox_.driveC() + "/Korvell/Data/New.txt"));
}

TEST_F(FileTest, RelativeAndHostPathsAreKept) {
    std::string hostPath = sandbox_.root() + "/host.txt";
    ASSERT_TRUE(WriteVia(hostPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS, "host"));
    EXPECT_EQ("host", testing_support::ReadFile(hostPath));
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(sandbox_.root().c_str()));
    testing_support::WriteFile(sandbox_.root() + "/sub/keep", "");
    bool written = WriteVia("sub\\rel.txt", GENERIC_WRITE, CREATE_ALWAYS, "relative");
    ASSERT_EQ(0, chdir(previous));
    ASSERT_TRUE(written);
    EXPECT_EQ("relative", testing_support::ReadFile(sandbox_.root() + "/sub/rel.txt"));
}

TEST_F(FileTest, AppendAccessWritesAtTheEnd) {
    ASSERT_TRUE(WriteVia("C:\\log.txt", FILE_APPEND_DATA, OPEN_ALWAYS, "first\n"));
    ASSERT_TRUE(WriteVia("C:\\log.txt", FILE_APPEND_DATA, OPEN_ALWAYS, "second\n"));
    EXPECT_EQ("first\nsecond\n", testing_support::ReadFile(sandbox_.HostPath("C:\\log.txt")));
    // Without append access writing starts at the beginning of the file.
    ASSERT_TRUE(WriteVia("C:\\log.txt", GENERIC_WRITE, OPEN_ALWAYS, "FIRST"));
    EXPECT_EQ("FIRST\nsecond\n", testing_support::ReadFile(sandbox_.HostPath("C:\\log.txt")));
    ASSERT_TRUE(WriteVia("C:\\log.txt", GENERIC_WRITE, CREATE_ALWAYS, "new"));
    EXPECT_EQ("new", testing_support::ReadFile(sandbox_.HostPath("C:\\log.txt")));
}

TEST_F(FileTest, ReadsSizesAndEndOfFile) {
    testing_support::WriteFile(sandbox_.HostPath("C:\\data.bin"), std::string("abc\0def", 7));
    HANDLE file = CreateFileA("C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD high = 0xFFFF;
    EXPECT_EQ(7u, GetFileSize(file, &high));
    EXPECT_EQ(0u, high);
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    DWORD read = 0;
    EXPECT_EQ(TRUE, ReadFile(file, buffer, 5, &read, nullptr));
    EXPECT_EQ(5u, read);
    EXPECT_EQ(0, std::memcmp(buffer, "abc\0d#", 6));
    EXPECT_EQ(TRUE, ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(2u, read);
    EXPECT_EQ(TRUE, ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(0u, read);  // end of file is success with nothing read
    SetLastError(0);
    EXPECT_EQ(FALSE, WriteFile(file, "x", 1, &read, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(TRUE, CloseHandle(file));
    EXPECT_EQ(FALSE, CloseHandle(file));
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(file, nullptr));
}

TEST_F(FileTest, OpenFailuresCarryWin32Codes) {
    testing_support::WriteFile(sandbox_.driveC() + "/Folder/keep", "");
    struct Case {
        const char* name;
        DWORD creation;
        DWORD error;
    };
    static const Case kCases[] = {
        {"C:\\missing.txt", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},          // 0
        {"C:\\NoFolder\\new.txt", CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"C:\\NoFolder\\new.txt", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"D:\\other-drive.txt", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"\\\\server\\share\\x.txt", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"C:\\Folder", OPEN_EXISTING, ERROR_ACCESS_DENIED},                // 5
        {"", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"C:\\bad-disposition.txt", 1 /* CREATE_NEW */, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : kCases) {
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(c.name, GENERIC_READ, 0, nullptr, c.creation, 0, nullptr)) << c.name;
        EXPECT_EQ(c.error, GetLastError()) << c.name;
    }
    EXPECT_FALSE(testing_support::FileExists(sandbox_.driveC() + "/bad-disposition.txt"));
}

TEST_F(FileTest, DeleteFileRemovesFilesOnly) {
    testing_support::WriteFile(sandbox_.HostPath("C:\\gone.txt"), "x");
    EXPECT_EQ(TRUE, DeleteFileA("C:\\gone.txt"));
    EXPECT_FALSE(testing_support::FileExists(sandbox_.HostPath("C:\\gone.txt")));
    SetLastError(0);
    EXPECT_EQ(FALSE, DeleteFileA("C:\\gone.txt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    testing_support::WriteFile(sandbox_.driveC() + "/Folder/keep", "");
    EXPECT_EQ(FALSE, DeleteFileA("C:\\Folder"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// Handles never handed out are rejected, never dereferenced.
TEST_F(FileTest, ForeignHandlesAreInvalid) {
    int notAFile = 0;
    static const HANDLE kBogus[] = {nullptr, INVALID_HANDLE_VALUE, static_cast<HANDLE>(&notAFile),
                                    reinterpret_cast<HANDLE>(uintptr_t{0x10})};
    char buffer[4];
    DWORD count = 77;
    for (HANDLE handle : kBogus) {
        SetLastError(0);
        EXPECT_EQ(FALSE, ReadFile(handle, buffer, 4, &count, nullptr));
        EXPECT_EQ(0u, count);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(FALSE, WriteFile(handle, buffer, 4, &count, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_EQ(FALSE, CloseHandle(handle));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
}

TEST_F(FileTest, InjectedFaultsFailOpenAndWrite) {
    PlatformFailCall("CreateFileA", 1, 0);
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("C:\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_FALSE(testing_support::FileExists(sandbox_.HostPath("C:\\f.txt")));

    HANDLE file = CreateFileA("C:\\f.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    PlatformFailCall("WriteFile", 2, 0);
    DWORD written = 0;
    EXPECT_EQ(TRUE, WriteFile(file, "a", 1, &written, nullptr));
    EXPECT_EQ(FALSE, WriteFile(file, "b", 1, &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_FAULT), GetLastError());
    EXPECT_EQ(0u, written);
    EXPECT_EQ(TRUE, WriteFile(file, "c", 1, &written, nullptr));
    EXPECT_EQ(TRUE, CloseHandle(file));
    EXPECT_EQ("ac", testing_support::ReadFile(sandbox_.HostPath("C:\\f.txt")));

    PlatformFailCall("ReadFile", 1, 0);
    PlatformFailCall("DeleteFileA", 1, 0);
    file = CreateFileA("C:\\f.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4];
    EXPECT_EQ(FALSE, ReadFile(file, buffer, 4, &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_READ_FAULT), GetLastError());
    EXPECT_EQ(TRUE, CloseHandle(file));
    EXPECT_EQ(FALSE, DeleteFileA("C:\\f.txt"));
    EXPECT_TRUE(testing_support::FileExists(sandbox_.HostPath("C:\\f.txt")));
}

}  // namespace
