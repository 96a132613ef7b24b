// Profile files: reading with defaults and truncation, writing that keeps
// every other line, bare names in the Windows folder, atomic replacement.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

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

// A missing file, section or key gives the default, its trailing blanks
// trimmed, with ERROR_FILE_NOT_FOUND.
TEST_F(ProfileTest, ReadsValuesAsWindowsDoes) {
    SetLastError(0);
    EXPECT_EQ("0000000000000000", Get("Synchronization", "PCID", "0000000000000000"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    WriteIni("; settings of the host\r\norphan=before any section\r\n[Synchronization]\r\nPCID=0123456789ABCDEF\r\n"
             "  SyncTime =  20240101120000  \r\nQuoted=\"  kept blanks  \"\r\nSingle='x'\r\nHalf=\"open\r\n"
             "Empty=\r\n;PCID=commented\r\nNoEquals\r\nPCID=second occurrence\r\n[ Other ]\r\nKey=other value\r\n"
             "[synchronization]\r\nLate=in a second section of the same name\r\n");
    static const struct {
        const char *section, *key, *expected, *defaultText = "dflt";
    } kCases[] = {
        {"Synchronization", "PCID", "0123456789ABCDEF"},
        {"SYNCHRONIZATION", "pcid", "0123456789ABCDEF"},
        {"Synchronization", "SyncTime", "20240101120000"},
        {"Synchronization", "Quoted", "  kept blanks  "},
        {"Synchronization", "Single", "x"},
        {"Synchronization", "Half", "\"open"},
        {"Synchronization", "Empty", ""},
        {"Other", "Key", "other value"},
        {"  Other  ", " key ", "other value"},
        {"Synchronization", "Late", "dflt"},
        {"Synchronization", "NoEquals", "dflt"},
        {"Synchronization", "Key", "dflt"},
        {"", "orphan", "dflt"},
        {"Missing", "PCID", "dflt"},
        {"Synchronization", "Missing", "", nullptr},
        {"Synchronization", "Missing", "  padded", "  padded   "},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.section << "/" << c.key);
        SetLastError(0);
        const std::string text = Get(c.section, c.key, c.defaultText);
        EXPECT_EQ(c.expected, text);
        if (text == "dflt") {
            EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
        }
    }
}

TEST_F(ProfileTest, TruncatesValuesDefaultsAndNameListsToTheBuffer) {
    WriteIni("[s]\nk=abcdef\n");
    static const struct {
        DWORD size;
        const char* text;
    } kCases[] = {{64, "abcdef"}, {7, "abcdef"}, {6, "abcde"}, {4, "abc"}, {2, "a"}, {1, ""}};
    for (const auto& c : kCases) {
        for (const char* key : {"k", "missing"}) {  // the value, then the default
            DWORD result = 99;
            EXPECT_EQ(c.text, Get("s", key, *key == 'k' ? "" : "abcdef", c.size, &result)) << key << ", " << c.size;
            EXPECT_EQ(std::strlen(c.text), result) << key << ", " << c.size;
        }
    }
    char untouched = '#';
    EXPECT_EQ(0u, GetPrivateProfileStringA("s", "k", "", &untouched, 0, kIniName));
    EXPECT_EQ('#', untouched);

    // Null section or key: the names, each NUL-terminated, and one NUL more.
    WriteIni("[First]\r\na=1\r\nB=2\r\n[Second]\r\n");
    static const struct {
        const char* section;
        DWORD size, result;
        std::string bytes;
    } kLists[] = {
        {nullptr, 32, 13, std::string("First\0Second\0\0#", 15)},
        {"first", 32, 4, std::string("a\0B\0\0#", 6)},
        {nullptr, 10, 8, std::string("First\0Se\0\0#", 11)},
    };
    for (const auto& c : kLists) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(c.result, GetPrivateProfileStringA(c.section, nullptr, "", buffer, c.size, kIniName));
        EXPECT_EQ(c.bytes, std::string(buffer, c.bytes.size()));
    }
}

// Each write changes only its own line: a key is replaced in place, added at
// the end of its section's lines, a section is added at the end; a null
// text deletes the key, a null key the section.
TEST_F(ProfileTest, WritesChangeOnlyTheirOwnLine) {
    const std::string kept = "; host settings\n[General]\n  Name = Host   \n\n[SYNCHRONIZATION]\npcid=old\n"
                             "Other=1 ; not a comment\n\n[Tail]\nx=y";
    std::string replaced = kept, added = kept;
    replaced.replace(kept.find("pcid=old"), 8, "pcid=new");
    added.insert(kept.find("\n\n[Tail]") + 1, "SyncTime=t\n");
    const struct {
        const char *before, *section, *key, *text;  // before null: no file
        std::string after;
    } kCases[] = {
        {nullptr, "Synchronization", "PCID", "0123", "[Synchronization]\r\nPCID=0123\r\n"},
        {"[Synchronization]\r\nPCID=0123\r\n", "Synchronization", "SyncTime", "2024",
         "[Synchronization]\r\nPCID=0123\r\nSyncTime=2024\r\n"},
        {"[Synchronization]\r\nPCID=0123\r\n", "Other", "k", "v",
         "[Synchronization]\r\nPCID=0123\r\n\r\n[Other]\r\nk=v\r\n"},
        {kept.c_str(), "Synchronization", "PCID", "new", replaced},
        {kept.c_str(), "synchronization", "SyncTime", "t", added},
        {kept.c_str(), "Tail", "z", "w", kept + "\nz=w\n"},
        {"[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n", "a", "K", nullptr, "[A]\r\nj=2\r\n[B]\r\nk=3\r\n"},
        {"[A]\r\nj=2\r\n[B]\r\nk=3\r\n", "A", nullptr, nullptr, "[B]\r\nk=3\r\n"},
        {"[B]\r\nk=3\r\n", "Missing", "k", nullptr, "[B]\r\nk=3\r\n"},
        {nullptr, "B", "k", nullptr, ""},  // deleting from no file makes none
    };
    testing_support::WriteFile(sandbox_.HostPath("C:\\Korvell\\Data\\keep"), "");
    for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
        const auto& c = kCases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        std::filesystem::remove(IniPath());
        if (c.before != nullptr) WriteIni(c.before);
        EXPECT_EQ(TRUE, WritePrivateProfileStringA(c.section, c.key, c.text, kIniName));
        EXPECT_EQ(c.after, ReadIni());
        EXPECT_EQ(c.before != nullptr || c.text != nullptr, testing_support::FileExists(IniPath()));
    }
}

TEST_F(ProfileTest, BareNamesLiveInTheWindowsFolder) {
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("Synchronization", "PCID", "abc", "ISEnvSet.ini"));
    EXPECT_EQ("[Synchronization]\r\nPCID=abc\r\n",
              testing_support::ReadFile(sandbox_.driveC() + "/Windows/ISEnvSet.ini"));
    char buffer[16] = {};
    EXPECT_EQ(3u, GetPrivateProfileStringA("Synchronization", "PCID", "", buffer, sizeof buffer, "ISEnvSet.ini"));
    EXPECT_STREQ("abc", buffer);
}

TEST_F(ProfileTest, WritesReplaceTheFileAtomicallyOrFailWithTheCode) {
    WriteIni("[s]\nk=old\n");
    const std::string oldLink = sandbox_.root() + "/old-content";
    ASSERT_EQ(0, link(IniPath().c_str(), oldLink.c_str()));
    ASSERT_EQ(TRUE, WritePrivateProfileStringA("s", "k", "new", kIniName));
    // The old file was renamed over, not written in place, and no
    // temporary file is left beside it.
    EXPECT_EQ("[s]\nk=old\n", testing_support::ReadFile(oldLink));
    EXPECT_EQ("[s]\nk=new\n", ReadIni());
    const std::filesystem::directory_iterator folder(sandbox_.HostPath("C:\\Korvell\\Data"));
    EXPECT_EQ(1, std::distance(begin(folder), end(folder)));

    SetLastError(0);
    EXPECT_EQ(FALSE, WritePrivateProfileStringA("s", "k", "v", "C:\\No\\Such\\Folder\\x.ini"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    EXPECT_EQ(FALSE, WritePrivateProfileStringA(nullptr, "k", "v", kIniName));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

}  // namespace
