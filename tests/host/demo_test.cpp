// The README's main job: morvane-sync demo runs to its end in a world of
// its own, and the command line refuses what it does not know.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "host/host_process.h"

namespace host_test {
namespace {

std::string Text(const tethra_sim::LinkValue& value) { return std::string(value.bytes.begin(), value.bytes.end()); }

TEST(HostDemo, RunsToItsEndWithExitZero) {
    HostWorld world;
    const HostRun run = RunHost({"demo"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("8. Done."), std::string::npos) << run.output;
    // Failing exports are reported with this prefix.
    EXPECT_EQ(run.output.find("morvane-sync:"), std::string::npos) << run.output;
}

TEST(HostDemo, ShowsTheFullExportAndThenOnlyTheDeviceEdits) {
    HostWorld world;
    REQUIRE_EXPORTS(kStartup);
    REQUIRE_EXPORTS(kExportPass);
    const HostRun run = RunHost({"demo"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const size_t second = run.output.find("7. Incremental export");
    ASSERT_NE(second, std::string::npos) << run.output;
    const std::string first = run.output.substr(0, second), incremental = run.output.substr(second);
    EXPECT_NE(first.find("Schedule (section 2): 3 record(s), full synchronisation"), std::string::npos) << first;
    EXPECT_NE(first.find("Memo (section 4): 2 record(s), full synchronisation"), std::string::npos) << first;
    EXPECT_NE(first.find("Room 4.12"), std::string::npos) << first;
    // The handheld's user moved the review, added a task and deleted a memo.
    EXPECT_NE(incremental.find("Schedule (section 2): 1 record(s)\n"), std::string::npos) << incremental;
    EXPECT_NE(incremental.find("Room 2.01"), std::string::npos) << incremental;
    EXPECT_NE(incremental.find("Book flights"), std::string::npos) << incremental;
    EXPECT_NE(incremental.find("Address book: no changes"), std::string::npos) << incremental;
    EXPECT_NE(incremental.find("deleted"), std::string::npos) << incremental;
    EXPECT_EQ(incremental.find("Anna's birthday"), std::string::npos) << incremental;
}

TEST(HostDemo, ImportReportsTheIdsTheDeviceGave) {
    HostWorld world;
    REQUIRE_EXPORTS(kStartup);
    REQUIRE_EXPORTS(kExportPass);
    REQUIRE_EXPORTS(kImportPass);
    const HostRun run = RunHost({"demo"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("appointment 'Dentist' added, the device gave it id"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("marked done (id 1) changed"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("memo 'Gate code' (id 1) deleted"), std::string::npos) << run.output;
}

// The demo's import follows a first, full export: its new records are
// queued and reach the device in one bulk write when each database closes.
TEST(HostDemo, FirstSynchronisationWritesTheNewRecordsInOneBulkWrite) {
    HostWorld world;
    REQUIRE_EXPORTS(kStartup);
    REQUIRE_EXPORTS(kExportPass);
    REQUIRE_EXPORTS(kImportPass);
    const HostRun run = RunHost({"demo", "--keep"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const size_t start = run.output.find("\n   /");
    ASSERT_NE(start, std::string::npos) << run.output;
    const std::string folder = run.output.substr(start + 4, run.output.find_first_of(",\n", start + 4) - start - 4);
    const tethra_sim::DeviceImage image = world.LoadImage(folder + "/device.json");
    std::filesystem::remove_all(folder);
    std::set<std::string> descriptions, names;
    tethra_sim::LinkValue value;
    for (const tethra_sim::Record& record : image.Find(1)->records)
        if (image.GetValue(1, record.id, "S_DESCRIPTION4", &value)) descriptions.insert(Text(value));
    for (const tethra_sim::Record& record : image.Find(7)->records)
        if (image.GetValue(7, record.id, "S_LAST_NAME", &value)) names.insert(Text(value));
    EXPECT_EQ(descriptions.count("Dentist"), 1u);
    EXPECT_EQ(names.count("Vogt"), 1u);
    EXPECT_EQ(image.Find(8)->Find(1), nullptr) << "the memo 'Gate code' is deleted";
    ASSERT_TRUE(image.GetValue(6, 1, "S_COMPLETED", &value));
    EXPECT_EQ(value, tethra_sim::NumberValue(1));  // a type 1 link field travels as four bytes
}

TEST(HostCommandLine, RefusesWhatItDoesNotKnowWithUsageAndExitTwo) {
    HostWorld world;
    static const std::vector<std::vector<std::string>> kBad = {
        // 0
        {},
        {"synchronise"},
        {"export", "--section", "9"},
        {"export", "--section", "two"},
        {"import"},
        // 5
        {"export", "--out"},
        {"demo", "--device", "x.json"},
    };
    for (size_t i = 0; i < kBad.size(); ++i) {
        const HostRun run = RunHost(kBad[i]);
        EXPECT_EQ(run.exitCode, 2) << "case " << i << ": " << run.output;
        EXPECT_NE(run.output.find("usage:"), std::string::npos) << "case " << i << ": " << run.output;
    }
}

TEST(HostCommandLine, HelpDescribesTheCommands) {
    HostWorld world;
    const HostRun run = RunHost({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* word : {"NAME", "COMMANDS", "demo", "export", "import", "--device", "EXIT STATUS"})
        EXPECT_NE(run.output.find(word), std::string::npos) << word;
}

TEST(HostCommandLine, AnAdapterThatCannotBeLoadedIsReported) {
    HostWorld world;
    testing_support::SetEnv("MORVANE_LIBRARY", world.Path("no-such-adapter.so"));
    const HostRun run = RunHost({"export", "--out", world.Path("out")});
    testing_support::UnsetEnv("MORVANE_LIBRARY");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("cannot load the adapter"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace host_test
