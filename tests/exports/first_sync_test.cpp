// The first synchronisation of a database through the exports: after an
// export pass that read it in full, new records are queued under
// provisional ids and reach the device in one bulk write per device
// database when the database is closed, inside the maker's wait box.
#include "exports/export_world.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace export_tests;
using tethra_sim::TextValue;
namespace fs = std::filesystem;

namespace {

// A device database that refuses bulk writes gets each record at once.
TEST(FirstSync, RecordsAreQueuedWithProvisionalIdsAndWrittenAtClose) {
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        SessionWorld world;
        world.image().Find(kToDoDb)->firstSyncPutAllowed = !refused;
        StartFirstSync(world, kToDoSection);
        CountCalls("S_DVXPutFirstSyncRecordData");
        for (const char* expected : {"1", "2", "3"}) {
            std::string id;
            ASSERT_EQ(0, AddNew(world, {{"2", std::string("task ") + expected}}, &id));
            EXPECT_EQ(id, expected);
        }
        EXPECT_EQ(refused ? 3u : 0u, LiveDb(kToDoDb).records.size());
        ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kToDoSection, 1, 0));
        EXPECT_EQ(refused ? 0u : 1u, CallsSeen("S_DVXPutFirstSyncRecordData"));
        const tethra_sim::Database& db = LiveDb(kToDoDb);
        ASSERT_EQ(3u, db.records.size());
        for (size_t i = 0; i < 3; ++i)
            EXPECT_EQ(Stored(kToDoDb, db.records[i].id, "S_DESCRIPTION3"), TextValue("task " + std::to_string(i + 1)));
    }
}

// A new import pass drops what the one before queued and did not write.
TEST(FirstSync, ANewImportPassStartsWithAnEmptyQueue) {
    SessionWorld world;
    StartFirstSync(world, kToDoSection);
    std::string id;
    ASSERT_EQ(0, AddNew(world, {{"2", "dropped"}}, &id));
    world.api().DIZ_API_BeginImport();
    ASSERT_EQ(0, AddNew(world, {{"2", "kept"}}, &id));
    ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kToDoSection, 1, 0));
    const tethra_sim::Database& db = LiveDb(kToDoDb);
    ASSERT_EQ(1u, db.records.size());
    EXPECT_EQ(Stored(kToDoDb, db.records[0].id, "S_DESCRIPTION3"), TextValue("kept"));
}

TEST(FirstSync, QueueStaysOffWhenTheFirstRecordCameWithoutAFullRead) {
    SessionWorld world;
    StartImport(world, kToDoSection);
    std::string first, second;
    ASSERT_EQ(0, AddNew(world, {{"2", "direct"}}, &first));
    // A full read now does not switch queueing on before the next BeginImport.
    OpenExport(world, kToDoSection, 0);
    ASSERT_EQ(0, AddNew(world, {{"2", "direct too"}}, &second));
    ASSERT_EQ(2u, LiveDb(kToDoDb).records.size());
    EXPECT_EQ(first, std::to_string(LiveDb(kToDoDb).records[0].id));
    EXPECT_EQ(second, std::to_string(LiveDb(kToDoDb).records[1].id));
}

// Command lines of the processes running the program at hostPath,
// arguments separated by blanks.  A program of another processor (the
// 32-bit build's tests) runs inside the emulator that binfmt_misc hands it
// to: that process's own program is the emulator, and its command line is
// the emulator's name, the program's path, then the program's own
// arguments from the first on (binfmt_misc's "P" flag).
std::vector<std::string> CommandLines(const std::string& hostPath) {
    std::vector<std::string> lines;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        std::error_code linkError;
        const bool direct = fs::read_symlink(entry.path() / "exe", linkError) == fs::path(hostPath) && !linkError;
        std::string arguments = testing_support::ReadFile((entry.path() / "cmdline").string());
        const size_t first = arguments.find('\0');
        const size_t second = arguments.find('\0', first + 1);
        std::error_code sameError;
        const bool emulated = !direct && second != std::string::npos &&
                              fs::equivalent(arguments.substr(first + 1, second - first - 1), hostPath, sameError);
        if (!direct && !emulated) continue;
        if (emulated) arguments.erase(0, second + 1);
        std::replace(arguments.begin(), arguments.end(), '\0', ' ');
        lines.push_back(arguments);
    }
    return lines;
}

// The wait box ("Lullpane.exe" in the data-file folder, "/M" for e-mail)
// runs while the queue is written and is gone afterwards, whether the
// write succeeds or fails.  A failed write fails the close before the
// working database is closed, and the queue is gone with it.
TEST(FirstSync, TheBulkWriteRunsInsideTheWaitBox) {
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        SessionWorld world;
        const std::string program = world.sandbox().HostPath(std::string(kDataFolder) + "Lullpane.exe");
        fs::copy_file(std::string(MORVANE_BIN_DIR) + "/Lullpane.exe", program, fs::copy_options::overwrite_existing);
        StartFirstSync(world, kMailSection);
        for (int32_t i = 0; i < 8; ++i) {
            ASSERT_EQ(0, world.api().DIZ_API_SetFolderID(1 + i % 4));
            std::string id;
            ASSERT_EQ(0, AddNew(world, {{"9", "mail"}}, &id));
        }
        if (fails) tethra_sim::LiveDevice()->FailCall("S_DVXPutFirstSyncRecordData", 1, kInjected, false);
        CountCalls("S_DVXPutFirstSyncRecordData");
        // The device holds the write until the wait box runs (up to 10 s),
        // so the wait surely spans the program's start.
        std::string seen;
        tethra_sim::LiveDevice()->beforeCall = [&](const std::string& called) {
            for (int i = 0; called == "S_DVXPutFirstSyncRecordData" && seen.empty() && i < 1000; ++i) {
                const std::vector<std::string> lines = CommandLines(program);
                if (!lines.empty()) seen = lines[0];
                else std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        };
        world.TakeTrace();
        EXPECT_EQ(fails ? -9 : 0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
        tethra_sim::LiveDevice()->beforeCall = nullptr;
        EXPECT_EQ("C:\\Korvell\\Data\\Lullpane.exe /M ", seen);
        EXPECT_TRUE(CommandLines(program).empty());
        EXPECT_EQ(fails ? kInjected : 0u, world.LastError());
        EXPECT_EQ(fails ? 1u : 2u, CallsSeen("S_DVXPutFirstSyncRecordData")) << "one bulk write per device database";
        EXPECT_EQ(fails ? 0u : 8u, LiveDb(kMailDb).records.size() + LiveDb(kCompanionDb).records.size());
        EXPECT_EQ(fails, !HasLine(world.TakeTrace(), "     ------ QAPI.QPC_CloseDataBase()"));
        ASSERT_EQ(0, world.api().DIZ_API_CloseDatabase(kMailSection, 1, 0));
        EXPECT_EQ(fails ? 1u : 2u, CallsSeen("S_DVXPutFirstSyncRecordData")) << "nothing left queued";
    }
}

}  // namespace
