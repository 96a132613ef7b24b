// Profile files: reading with defaults and truncation, writing that keeps
// every other line, bare names in the Windows folder, atomic replacement.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform_test.h"
#include "platform/win32api.h"
#include "support/sandbox.h"

namespace {

using testing_support::Sandbox;

const char kIniName[] = "C:\\Korvell\\Data\\ISEnvSet.ini";

class ProfileTest : public ::testing::Test {
protected:
    std::string IniPath() const { return sandbox_.HostPath(kIniName); }
    void WriteIni(const std::string& text) const { testing_support::WriteFile(IniPath(), text); }
    std::string ReadIni() const { return testing_support::ReadFile(IniPath()); }

    // Reads through a 64-byte buffer prefilled with '#'; returns the text
    // and checks that nothing after its NUL was touched.
    std::string Get(const char* section, const char* key, const char* defaultText, DWORD size = 64,
                    DWORD* result = nullptr) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        DWORD copied = GetPrivateProfileStringA(section, key, defaultText, buffer, size, kIniName);
        if (result != nullptr) *result = copied;
        EXPECT_LT(copied, size);
        EXPECT_EQ('\0', buffer[copied]);
        for (size_t i = copied + 1; i < sizeof buffer; ++i) EXPECT_EQ('#', buffer[i]) << "byte " << i;
        return std::string(buffer, copied);
    }
    Sandbox sandbox_;
};

TEST_F(ProfileTest, ReadsValuesAsWindowsDoes) {
    WriteIni("; settings of the host\r\n"
             "orphan=before any section\r\n"
             "[Synchronization]\r\n"
             "PCID=0123456789ABCDEF\r\n"
             "  SyncTime =  20240101120000  \r\n"
             "Quoted=\"  kept blanks  \"\r\n"
             "Single='x'\r\n"
             "Half=\"open\r\n"
             "Empty=\r\n"
             ";PCID=commented\r\n"
             "NoEquals\r\n"
             "PCID=second occurrence\r\n"
             "[ Other ]\r\n"
             "Key=other value\r\n"
             "[synchronization]\r\n"
             "Late=in a second section of the same name\r\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    static const Case kCases[] = {
        {"Synchronization", "PCID", "0123456789ABCDEF"},      // 0
        {"SYNCHRONIZATION", "pcid", "0123456789ABCDEF"},
        {"Synchronization", "SyncTime", "20240101120000"},
        {"Synchronization", "Quoted", "  kept blanks  "},
        {"Synchronization", "Single", "x"},
        {"Synchronization", "Half", "\"open"},                 // 5
        {"Synchronization", "Empty", ""},
        {"Other", "Key", "other value"},
        {"  Other  ", " key ", "other value"},
        {"Synchronization", "Late", "dflt"},
        {"Synchronization", "NoEquals", "dflt"},               // 10
        {"Synchronization", "Key", "dflt"},
        {"", "orphan", "dflt"},
        {"Missing", "PCID", "dflt"},
    };
    for (const Case& c : kCases) EXPECT_EQ(c.expected, Get(c.section, c.key, "dflt")) << c.section << "/" << c.key;
}

TEST_F(ProfileTest, DefaultsWhenFileSectionOrKeyIsMissing) {
    SetLastError(0);
    EXPECT_EQ("0000000000000000", Get("Synchronization", "PCID", "0000000000000000"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ("", Get("Synchronization", "PCID", nullptr));
    EXPECT_EQ("  padded", Get("Synchronization", "PCID", "  padded   "));
    WriteIni("[Synchronization]\r\nPCID=1\r\n");
    SetLastError(0);
    EXPECT_EQ("d", Get("Synchronization", "SyncTime", "d"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ("d", Get("Sync", "PCID", "d"));
}

TEST_F(ProfileTest, TruncatesToTheBuffer) {
    WriteIni("[s]\nk=abcdef\n");
    struct Case {
        DWORD size;
        const char* text;
        DWORD result;
    };
    static const Case kCases[] = {
        {64, "abcdef", 6}, {7, "abcdef", 6}, {6, "abcde", 5}, {4, "abc", 3}, {2, "a", 1}, {1, "", 0},  // 0
    };
    for (const Case& c : kCases) {
        DWORD result = 99;
        EXPECT_EQ(c.text, Get("s", "k", "", c.size, &result)) << c.size;
        EXPECT_EQ(c.result, result) << c.size;
        EXPECT_EQ(c.text, Get("s", "missing", "abcdef", c.size, &result)) << "default, " << c.size;
        EXPECT_EQ(c.result, result) << "default, " << c.size;
    }
    char untouched = '#';
    EXPECT_EQ(0u, GetPrivateProfileStringA("s", "k", "", &untouched, 0, kIniName));
    EXPECT_EQ('#', untouched);
}

TEST_F(ProfileTest, ListsSectionAndKeyNames) {
    WriteIni("[First]\r\na=1\r\nB=2\r\n[Second]\r\n");
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(13u, GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, kIniName));
    EXPECT_EQ(std::string("First\0Second\0\0#", 15), std::string(buffer, 15));
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(4u, GetPrivateProfileStringA("first", nullptr, "", buffer, sizeof buffer, kIniName));
    EXPECT_EQ(std::string("a\0B\0\0#", 6), std::string(buffer, 6));
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(8u, GetPrivateProfileStringA(nullptr, nullptr, "", buffer, 10, kIniName));
    EXPECT_EQ(std::string("First\0Se\0\0#", 11), std::string(buffer, 11));
}

TEST_F(ProfileTest, WriteCreatesFileAndSection) {
    testing_support::WriteFile(sandbox_.HostPath("C:\\Korvell\\Data\\keep"), "");
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("Synchronization", "PCID", "0123456789ABCDEF", kIniName));
    EXPECT_EQ("[Synchronization]\r\nPCID=0123456789ABCDEF\r\n", ReadIni());
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("Synchronization", "SyncTime", "20240101120000", kIniName));
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("Other", "k", "v", kIniName));
    EXPECT_EQ("[Synchronization]\r\nPCID=0123456789ABCDEF\r\nSyncTime=20240101120000\r\n\r\n[Other]\r\nk=v\r\n", ReadIni());
    EXPECT_EQ("20240101120000", Get("Synchronization", "SyncTime", ""));
}

TEST_F(ProfileTest, WriteKeepsEveryOtherLineAsItWas) {
    const std::string before =
        "; host settings\n"
        "[General]\n"
        "  Name = Host   \n"
        "\n"
        "[SYNCHRONIZATION]\n"
        "pcid=old\n"
        "Other=1 ; not a comment\n"
        "\n"
        "[Tail]\n"
        "x=y";
    WriteIni(before);
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("Synchronization", "PCID", "new", kIniName));
    std::string expected = before;
    expected.replace(expected.find("pcid=old"), 8, "pcid=new");
    EXPECT_EQ(expected, ReadIni());
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("synchronization", "SyncTime", "t", kIniName));
    expected.insert(expected.find("\n\n[Tail]") + 1, "SyncTime=t\n");
    EXPECT_EQ(expected, ReadIni());
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("Tail", "z", "w", kIniName));
    EXPECT_EQ(expected + "\nz=w\n", ReadIni());
}

TEST_F(ProfileTest, NullTextDeletesKeyAndNullKeyDeletesSection) {
    WriteIni("[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n");
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("a", "K", nullptr, kIniName));
    EXPECT_EQ("[A]\r\nj=2\r\n[B]\r\nk=3\r\n", ReadIni());
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("A", nullptr, nullptr, kIniName));
    EXPECT_EQ("[B]\r\nk=3\r\n", ReadIni());
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("Missing", "k", nullptr, kIniName));
    EXPECT_EQ("[B]\r\nk=3\r\n", ReadIni());
    EXPECT_EQ(TRUE, WritePrivateProfileStringA("B", "k", nullptr, "C:\\Korvell\\Data\\none.ini"));
    EXPECT_FALSE(testing_support::FileExists(sandbox_.HostPath("C:\\Korvell\\Data\\none.ini")));
}

TEST_F(ProfileTest, BareNamesLiveInTheWindowsFolder) {
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("Synchronization", "PCID", "abc", "ISEnvSet.ini"));
    EXPECT_EQ("[Synchronization]\r\nPCID=abc\r\n", testing_support::ReadFile(sandbox_.driveC() + "/Windows/ISEnvSet.ini"));
    char buffer[16] = {};
    EXPECT_EQ(3u, GetPrivateProfileStringA("Synchronization", "PCID", "", buffer, sizeof buffer, "ISEnvSet.ini"));
    EXPECT_STREQ("abc", buffer);
}

TEST_F(ProfileTest, WritesReplaceTheFileAtomically) {
    WriteIni("[s]\nk=old\n");
    std::string path = IniPath();
    std::string oldLink = sandbox_.root() + "/old-content";
    ASSERT_EQ(0, link(path.c_str(), oldLink.c_str()));
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("s", "k", "new", kIniName));
    // The old file was renamed over, not written in place, and no
    // temporary file is left beside it.
    EXPECT_EQ("[s]\nk=old\n", testing_support::ReadFile(oldLink));
    EXPECT_EQ("[s]\nk=new\n", ReadIni());
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox_.HostPath("C:\\Korvell\\Data"))) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(1, entries);
}

TEST_F(ProfileTest, WriteFailuresAreReported) {
    SetLastError(0);
    EXPECT_EQ(FALSE, WritePrivateProfileStringA("s", "k", "v", "C:\\No\\Such\\Folder\\x.ini"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(FALSE, WritePrivateProfileStringA(nullptr, "k", "v", kIniName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ProfileTest, InjectedFaultsFailReadsAndWrites) {
    WriteIni("[s]\r\nk=v\r\n");
    PlatformFailCall("WritePrivateProfileStringA", 1, 0);
    SetLastError(0);
    EXPECT_EQ(FALSE, WritePrivateProfileStringA("s", "k", "changed", kIniName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("[s]\r\nk=v\r\n", ReadIni());
    PlatformFailCall("GetPrivateProfileStringA", 2, 0);
    EXPECT_EQ("v", Get("s", "k", "dflt"));
    EXPECT_EQ("dflt", Get("s", "k", "dflt"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ("v", Get("s", "k", "dflt"));
}

}  // namespace
