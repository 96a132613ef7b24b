// The wait box's command line: "Lullpane.exe" in the data-file folder the
// registry names, "/M" for e-mail.  (Running it around the bulk write is
// the export tests'.)
#include "database/wait_box.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>
#include <string>

using testing_support::Sandbox;

namespace {

TEST(WaitBox, CommandLineFollowsTheDataFileFolder) {
    const struct {
        const char* folder;  // null: no value at all
        bool forMail;
        const char* commandLine;
    } rows[] = {
        {"C:\\\\Korvell\\\\Data\\\\", true, "C:\\Korvell\\Data\\Lullpane.exe /M"},
        {"C:\\\\Korvell\\\\Data", false, "C:\\Korvell\\Data\\Lullpane.exe"},
        {"", false, ".\\Lullpane.exe"},
        {nullptr, true, ".\\Lullpane.exe /M"},
    };
    for (const auto& row : rows) {
        Sandbox sandbox;
        sandbox.WriteRegistry(std::string("Windows Registry Editor Version 5.00\n\n") +
                              (row.folder ? "[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n"
                                            "\"DatafilePath\"=\"" + std::string(row.folder) + "\"\n"
                                          : ""));
        EXPECT_EQ(row.commandLine, WaitBoxCommandLine(row.forMail)) << (row.folder ? row.folder : "(none)");
    }
}

}  // namespace
