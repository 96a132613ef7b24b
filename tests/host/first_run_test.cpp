// A new user's first commands: a machine with no configuration gets its
// default world once, and every start-up failure says its likely cause.
#include <unistd.h>

#include "host/host_process.h"

namespace host_test {
namespace {

using testing_support::WriteFile;

TEST(FirstRun, AMachineWithNoConfigurationIsSetUpOnceAndSyncs) {
    HostWorld world;
    // No registry file at all, as on a fresh machine.
    unlink(world.sandbox().registryPath().c_str());
#ifdef MORVANE_HOST_HAS_SYNC
    const std::vector<std::string> command = {"sync", "--store", world.Path("store"), "--yes", "--device",
                                              world.Path("device.json")};
    const char* const synced = "Address book  |       2";
#else
    const std::vector<std::string> command = {"export", "--out", world.Path("out"), "--yes", "--device",
                                              world.Path("device.json")};
    const char* const synced = "Address book: 2 record(s)";
#endif
    ASSERT_TRUE(Ran(RunHost(command), 0, {"first run: created the registry file",
                                          "\"DatafilePath\" = C:\\Korvell\\Data\\", synced}));
    EXPECT_EQ(access((world.sandbox().driveC() + "/Korvell/Data").c_str(), F_OK), 0);
    const HostRun second = RunHost(command);
    ASSERT_EQ(second.exitCode, 0) << second.output;
    EXPECT_EQ(second.output.find("first run"), std::string::npos) << second.output;
}

TEST(FirstRun, StartupFailuresNameTheirCause) {
    struct Row {
        const char* registry;  // null: the standard one
        const char* image;     // the device image file's text; null: none
        const char* answer;    // MORVANE_MESSAGEBOX
        const char* expected;
    };
    static const Row kRows[] = {
        {"Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n\"x\"=\"y\"\n", nullptr, "ok",
         "likely cause: no \"DatafilePath\""},
        {nullptr, "{\"format\": 1, broken", "ok", "likely cause: the device image"},
        {nullptr, nullptr, "cancel", "the pairing question was answered Cancel"},
    };
    for (const Row& row : kRows) {
        HostWorld world;
        if (row.registry != nullptr) world.sandbox().WriteRegistry(row.registry);
        const std::string image = world.Path("device.json");
        if (row.image != nullptr) WriteFile(image, row.image);
        testing_support::SetEnv("MORVANE_MESSAGEBOX", row.answer);
        std::vector<std::vector<std::string>> commands = {{"export", "--device", image, "--out", world.Path("out")}};
#ifdef MORVANE_HOST_HAS_SYNC
        commands.push_back({"sync", "--device", image, "--store", world.Path("store")});
#endif
        for (const auto& command : commands) {
            const HostRun run = RunHost(command);
            EXPECT_NE(run.exitCode, 0) << command[0] << ": " << run.output;
            EXPECT_TRUE(HasAll(run.output, {"start-up failed", row.expected})) << command[0];
        }
    }
}

TEST(FirstRun, AMissingInputFolderIsAnError) {
    HostWorld world;
    EXPECT_TRUE(Ran(RunHost({"import", "--in", world.Path("nowhere"), "--yes"}), 1, {"nowhere is not a folder"}));
}

}  // namespace
}  // namespace host_test
