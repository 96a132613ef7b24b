// The configuration store: the data-file folder in the registry, the
// paths built on it, the host's settings file and the utility library.
#include "support/install_path.h"
#include "support/registry_string.h"
#include "support/sandbox.h"
#include "support/settings_file.h"
#include "support/utility_library.h"

#include <gtest/gtest.h>

#include <string.h>
#include <filesystem>
#include <string>

using testing_support::Sandbox;

namespace {

const char kNoFolderRegistry[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n"
    "\"SomethingElse\"=\"x\"\n";

// A registry holding only "DatafilePath" = folder; no folder is created.
std::string FolderRegistry(const std::string& folder) {
    std::string escaped;
    for (char c : folder) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n"
           "\"DatafilePath\"=\"" + escaped + "\"\n";
}

// The settings file in the standard data-file folder.
const char kDataFolder[] = "C:\\Korvell\\Data\\";
const char kSettingsPath[] = "C:\\Korvell\\Data\\ISEnvSet.ini";

}  // namespace

// The folder as the registry holds it ("-": no value, "": no key at all),
// what ReadInstallPath gives and the paths built on it.
TEST(InstallPath, FolderAndThePathsBuiltOnIt) {
    const std::string longest = "C:\\" + std::string(256, 'f');  // 259 characters and the zero
    struct Row {
        std::string folder;
        int result;
        std::string read;  // the buffer afterwards
        const char* settings;
        const char* utility;
    };
    const Row kRows[] = {
        {"C:\\Korvell\\Data\\", 1, "C:\\Korvell\\Data\\", "C:\\Korvell\\Data\\ISEnvSet.ini",
         "C:\\Korvell\\Data\\Gantry1.dll"},
        {"C:\\Korvell\\Data", 1, "C:\\Korvell\\Data", "C:\\Korvell\\Data\\ISEnvSet.ini",
         "C:\\Korvell\\Data\\Gantry1.dll"},
        {"", 1, "", "\\ISEnvSet.ini", "\\Gantry1.dll"},
        {"-", 0, "untouched", "ISEnvSet.ini", "\\Gantry1.dll"},
        {"--", 0, "untouched", "ISEnvSet.ini", "\\Gantry1.dll"},
        {longest, 1, longest, nullptr, nullptr},
        {longest + "g", 0, "untouched", nullptr, nullptr},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.folder);
        Sandbox sandbox;
        if (row.folder == "--")
            sandbox.WriteRegistry("Windows Registry Editor Version 5.00\n");
        else
            sandbox.WriteRegistry(row.folder == "-" ? std::string(kNoFolderRegistry) : FolderRegistry(row.folder));
        char buffer[kDataFolderSize] = "untouched";
        EXPECT_EQ(ReadInstallPath(buffer), row.result);
        EXPECT_EQ(std::string(buffer), row.read);
        if (row.settings == nullptr) continue;
        std::string text = "old";
        EXPECT_EQ(ReadDataFolder(text), row.result == 1);
        EXPECT_EQ(text, row.result == 1 ? row.read : "old");
        EXPECT_EQ(SettingsFile().Path(), row.settings);
        EXPECT_EQ(CUtilityLibrary().Path(), row.utility);
    }
}

TEST(RegistryString, TextVariantStopsAtTheFirstZero) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, -1);
    std::string text = "a much longer old text than the value";
    EXPECT_TRUE(GetRegistryString("SOFTWARE\\Korvell Quenda 2\\halverd", "DatafilePath", text, 260,
                                  HKEY_CURRENT_USER));
    EXPECT_EQ(text, kDataFolder);
}

TEST(SettingsFile, PCIDRoundTripInUpperCase) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, -1);
    const uint8_t id[8] = {0x01, 0xAB, 0x00, 0xFF, 0x7c, 0x10, 0x02, 0xe0};
    SettingsFile settings;
    EXPECT_EQ(settings.WritePCID(id), 1);
    const std::string file = testing_support::ReadFile(sandbox.HostPath(kSettingsPath));
    EXPECT_NE(file.find("[Synchronization]"), std::string::npos) << file;
    EXPECT_NE(file.find("PCID=01AB00FF7C1002E0"), std::string::npos) << file;
    uint8_t read[8] = {};
    EXPECT_EQ(SettingsFile().ReadPCID(read), 1);
    EXPECT_EQ(memcmp(read, id, 8), 0);
}

// The forms a start-up takes or replaces are checked through the exports;
// here the bytes ReadPCID leaves.
TEST(SettingsFile, StoredPCIDForms) {
    struct Row {
        const char* stored;
        int result;
        uint8_t first, last;
    };
    static const Row kRows[] = {
        {"0123456789abcdef", 1, 0x01, 0xEF},
        {"0000000000000001", 1, 0x00, 0x01},
        {"0000000000000000", 0, 0, 0},
        {"0123456789ABCDEG", 0, 0, 0},
    };
    for (const Row& row : kRows) {
        Sandbox sandbox;
        sandbox.WriteStandardRegistry(kDataFolder, -1);
        testing_support::WriteFile(sandbox.HostPath(kSettingsPath), std::string("[Synchronization]\r\nPCID=") +
                                                                         row.stored + "\r\n");
        uint8_t id[8];
        memset(id, 0x5A, sizeof id);
        SCOPED_TRACE(row.stored);
        EXPECT_EQ(SettingsFile().ReadPCID(id), row.result);
        EXPECT_EQ(id[0], row.first);
        EXPECT_EQ(id[7], row.last);
        if (row.result == 0) {
            for (uint8_t byte : id) EXPECT_EQ(byte, 0);
        }
    }
}

TEST(SettingsFile, SyncTimeDefaultAndRoundTripKeepingTheHostsKeys) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry(kDataFolder, -1);
    std::string text = "old";
    EXPECT_EQ(SettingsFile().ReadSyncTime(text), 1);
    EXPECT_EQ(text, "00000000000000");
    testing_support::WriteFile(sandbox.HostPath(kSettingsPath), "[Host]\r\nOption=7\r\n");
    EXPECT_EQ(SettingsFile().WriteSyncTime("20261206010203"), 1);
    EXPECT_EQ(SettingsFile().ReadSyncTime(text), 1);
    EXPECT_EQ(text, "20261206010203");
    const std::string file = testing_support::ReadFile(sandbox.HostPath(kSettingsPath));
    EXPECT_NE(file.find("Option=7"), std::string::npos) << file;
}

TEST(UtilityLibrary, ReadsThePairingTextsCutToTheBuffer) {
    Sandbox sandbox;
    sandbox.WriteStandardRegistry("C:\\Korvell\\Data", -1);
    EXPECT_FALSE(CUtilityLibrary().IsLoaded());
    EXPECT_EQ(CUtilityLibrary().LoadText(kPairingCaptionId), "");
    std::filesystem::copy_file(std::string(MORVANE_TEST_DATA) + "/Gantry1.dll",
                               sandbox.HostPath("C:\\Korvell\\Data\\Gantry1.dll"));
    CUtilityLibrary utility;
    ASSERT_TRUE(utility.IsLoaded());
    EXPECT_EQ(utility.LoadText(kPairingCaptionId), "Quenda Sync");
    EXPECT_EQ(utility.LoadText(kPairingQuestionId), "This device is synchronised with another PC.");
    EXPECT_EQ(utility.LoadText(kPairingContinuationId),
              "Do you want to synchronise it with this PC instead? All data will be synchronised in full.");
    EXPECT_EQ(utility.LoadText(20000), "") << "no such string";
    // String 300 of the test library is "000-001-...-149-", 600 characters.
    const std::string text = utility.LoadText(300);
    EXPECT_EQ(text.size(), static_cast<size_t>(kUtilityTextSize - 1));
    EXPECT_EQ(text.substr(0, 8), "000-001-");
    EXPECT_EQ(text.substr(text.size() - 5), "7-128") << "128 whole numbers and the digits of the next";
}
