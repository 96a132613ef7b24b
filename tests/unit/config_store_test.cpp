// The configuration store: the data-file folder in the registry, the paths built on it, the utility library.
#include "support/install_path.h"
#include "support/sandbox.h"
#include "support/settings_file.h"
#include "support/utility_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using testing_support::Sandbox;

namespace {

// A registry holding "DatafilePath" = folder (null: the key without the value, "-": no key at all).
std::string Registry(const char* folder) {
    std::string reg = "Windows Registry Editor Version 5.00\n\n";
    if (folder != nullptr && std::string(folder) == "-") return reg;
    reg += "[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n";
    if (folder == nullptr) return reg + "\"SomethingElse\"=\"x\"\n";
    reg += "\"DatafilePath\"=\"";
    for (const char* c = folder; *c != '\0'; ++c) reg += *c == '\\' ? std::string("\\\\") : std::string(1, *c);
    return reg + "\"\n";
}

// The folder, what ReadInstallPath gives and the paths built on it.
TEST(InstallPath, FolderAndThePathsBuiltOnIt) {
    const std::string longest = "C:\\" + std::string(256, 'f');  // 259 characters and the zero
    const std::string tooLong = longest + "g";
    const struct {
        const char* folder;
        int result;
        const char *settings, *utility;
    } rows[] = {
        {"C:\\Korvell\\Data", 1, "C:\\Korvell\\Data\\ISEnvSet.ini", "C:\\Korvell\\Data\\Gantry1.dll"},
        {"", 1, "\\ISEnvSet.ini", "\\Gantry1.dll"},
        {nullptr, 0, "ISEnvSet.ini", "\\Gantry1.dll"},
        {"-", 0, "ISEnvSet.ini", "\\Gantry1.dll"},
        {longest.c_str(), 1, nullptr, nullptr},
        {tooLong.c_str(), 0, nullptr, nullptr},
    };
    for (const auto& row : rows) {
        const std::string folder = row.folder ? row.folder : "(no value)";
        SCOPED_TRACE(folder);
        Sandbox sandbox;
        sandbox.WriteRegistry(Registry(row.folder));
        char buffer[kDataFolderSize] = "untouched";
        EXPECT_EQ(ReadInstallPath(buffer), row.result);
        EXPECT_EQ(std::string(buffer), row.result == 1 ? folder : "untouched");
        if (row.settings == nullptr) continue;
        // The text form takes the value up to its zero, or keeps the old text.
        std::string text = "an old text longer than most values";
        EXPECT_EQ(ReadDataFolder(text), row.result == 1);
        EXPECT_EQ(text, row.result == 1 ? folder : "an old text longer than most values");
        EXPECT_EQ(SettingsFile().Path(), row.settings);
        EXPECT_EQ(CUtilityLibrary().Path(), row.utility);
    }
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
    EXPECT_EQ(utility.LoadText(20000), "") << "no such string";
    // String 300 of the test library is "000-001-...-149-", 600 characters.
    const std::string text = utility.LoadText(300);
    EXPECT_EQ(text.size(), static_cast<size_t>(kUtilityTextSize - 1));
    EXPECT_EQ(text.substr(0, 8), "000-001-");
    EXPECT_EQ(text.substr(text.size() - 5), "7-128") << "128 whole numbers and the digits of the next";
}

}  // namespace
