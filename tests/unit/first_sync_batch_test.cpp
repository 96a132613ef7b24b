// The first-synchronisation batch, the wait box around its bulk write, and
// the close that hands it to the simulated device.
#include "app/morvane_app.h"
#include "database/close_database.h"
#include "database/first_sync_batch.h"
#include "database/wait_box.h"
#include "device/simulator.h"
#include "link/device_link.h"
#include "platform/platform_test.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testing_support::Sandbox;

namespace {

const char kDataFolder[] = "C:\\Korvell\\Data\\";

// Registry texts for the data-file folder and the command line they give.
struct CommandLineRow {
    const char* registry;  // the .reg body after the header, or "" for none
    bool forMail;
    const char* commandLine;
};
const CommandLineRow kCommandLines[] = {
    {"[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n\"DatafilePath\"=\"C:\\\\Korvell\\\\Data\\\\\"\n", true,
     "C:\\Korvell\\Data\\Lullpane.exe /M"},
    {"[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n\"DatafilePath\"=\"C:\\\\Korvell\\\\Data\"\n", false,
     "C:\\Korvell\\Data\\Lullpane.exe"},
    {"[HKEY_CURRENT_USER\\SOFTWARE\\KORVELL QUENDA 2\\HALVERD]\n\"DatafilePath\"=\"\"\n", false, ".\\Lullpane.exe"},
    {"", true, ".\\Lullpane.exe /M"},  // 3: no value at all
};

TEST(WaitBox, CommandLineFollowsTheDataFileFolder) {
    for (const CommandLineRow& row : kCommandLines) {
        Sandbox sandbox;
        sandbox.WriteRegistry(std::string("Windows Registry Editor Version 5.00\n\n") + row.registry);
        EXPECT_EQ(row.commandLine, WaitBoxCommandLine(row.forMail)) << row.registry;
    }
}

// Command lines of the processes running the wait box program at
// hostPath, arguments separated by blanks.
std::vector<std::string> CommandLines(const std::string& hostPath) {
    std::vector<std::string> lines;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path() / "exe", linkError) != fs::path(hostPath) || linkError) continue;
        std::string arguments = testing_support::ReadFile((entry.path() / "cmdline").string());
        std::replace(arguments.begin(), arguments.end(), '\0', ' ');
        lines.push_back(arguments);
    }
    return lines;
}
int RunningCopies(const std::string& hostPath) { return static_cast<int>(CommandLines(hostPath).size()); }

void CountCallsOnLiveDevice() {
    tethra_sim::LiveDevice()->FailCall("S_DVXPutFirstSyncRecordData", 0xFFFFFFFFu, 0x10000002, false);
}

uint32_t PutFirstSyncCalls() {
    for (const tethra_sim::Fault& fault : tethra_sim::LiveDevice()->faults)
        if (fault.operation == "S_DVXPutFirstSyncRecordData") return fault.seen;
    return 0;
}

// A sandbox whose data-file folder holds the wait box, which reports to
// the status file when it runs.
class WaitBoxWorld {
public:
    WaitBoxWorld() {
        sandbox_.WriteStandardRegistry(kDataFolder, -1);
        program_ = sandbox_.HostPath(std::string(kDataFolder) + "Lullpane.exe");
        fs::copy_file(std::string(MORVANE_BIN_DIR) + "/Lullpane.exe", program_, fs::copy_options::overwrite_existing);
        status_ = sandbox_.root() + "/lullpane.status";
        testing_support::SetEnv("LULLPANE_STATUS", status_);
    }
    ~WaitBoxWorld() { testing_support::UnsetEnv("LULLPANE_STATUS"); }

    const std::string& program() const { return program_; }
    // The status line once the program has written it (up to 10 s).
    std::string AwaitStatus() const {
        for (int i = 0; i < 200; ++i) {
            const std::string text = testing_support::ReadFile(status_);
            if (!text.empty()) return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "";
    }

private:
    Sandbox sandbox_;
    std::string program_, status_;
};

TEST(WaitBox, StartsTheProgramAndTerminatesIt) {
    WaitBoxWorld world;
    RunWaitBox(true, true);
    EXPECT_EQ("waiting /M\n", world.AwaitStatus());
    EXPECT_EQ(1, RunningCopies(world.program()));
    RunWaitBox(false, true);
    EXPECT_EQ(0, RunningCopies(world.program()));
    RunWaitBox(false, true);  // nothing held: nothing happens
}

// A connected link on the demo device and a new mail record in its link
// layout; the device link learns where "S_FOLDERID" is.
class BatchTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, g_link.OpenLink());
        heap_ = HeapCreate(0, 1, 0);
        memset(&info_, 0, sizeof info_);
        ASSERT_EQ(1, g_link.GetDBInfo(16, heap_, &info_));
        ASSERT_GE(g_link.folderFieldIndex, 0);
        batch_ = theApp.firstSyncBatch;
        ASSERT_NE(nullptr, batch_);
    }
    void TearDown() override {
        g_link.CloseLink();
        HeapDestroy(heap_);
    }

    // A mail record bound for device folder folder (absent: no folder).
    _tagDVXDBREC MailRecord(const std::string& subject, int32_t folder, bool absent = false) {
        auto* slots = static_cast<_tagDVXFIELD*>(HeapAlloc(heap_, HEAP_ZERO_MEMORY, sizeof(_tagDVXFIELD) * info_.fieldCount));
        for (uint32_t i = 0; i < info_.fieldCount; ++i) slots[i].size = sizeof(_tagDVXFIELD);
        auto* folderValue = static_cast<uint8_t*>(HeapAlloc(heap_, 0, 4));
        memcpy(folderValue, &folder, 4);
        slots[g_link.folderFieldIndex] = {sizeof(_tagDVXFIELD), absent ? 0u : 4u, absent ? nullptr : folderValue};
        for (uint32_t i = 0; i < info_.fieldCount; ++i) {
            if (strcmp(info_.fields[i].name, "S_SUBJECT") != 0) continue;
            auto* text = static_cast<uint8_t*>(HeapAlloc(heap_, 0, subject.size()));
            memcpy(text, subject.data(), subject.size());
            slots[i] = {sizeof(_tagDVXFIELD), static_cast<uint32_t>(subject.size()), text};
        }
        return _tagDVXDBREC{sizeof(_tagDVXDBREC), info_.fieldCount, 0, slots};
    }

    // Subjects of the live device's database dbId.
    static std::vector<std::string> Subjects(uint32_t dbId) {
        std::vector<std::string> subjects;
        const tethra_sim::Database* db = tethra_sim::LiveDevice()->Find(dbId);
        const int index = db->FieldIndex("S_SUBJECT");
        for (const tethra_sim::Record& record : db->records)
            subjects.emplace_back(record.values[index].bytes.begin(), record.values[index].bytes.end());
        return subjects;
    }
    static bool Has(const std::vector<std::string>& list, const std::string& text) {
        return std::find(list.begin(), list.end(), text) != list.end();
    }

    // The E-mail database open in the working database, its batch reset and
    // enabled by the device.
    void StartBulk() {
        ASSERT_EQ(1, g_link.OpenDataBase("C:\\Korvell\\Data\\QtDBTemp"));
        g_session.currentDbId = 16;
        g_session.tempDbOpen = 1;
        batch_->Reset(16);
        ASSERT_EQ(1, batch_->IsEnabled(true));
    }

    HANDLE heap_ = nullptr;
    _tagS_DVXDBINFO info_;
    FirstSyncBatch* batch_ = nullptr;
};

TEST_F(BatchTest, EnableStateIsDecidedOncePerReset) {
    batch_->Reset(16);
    EXPECT_EQ(0, batch_->IsEnabled(false));
    EXPECT_EQ(0, batch_->IsEnabled(true)) << "settled without asking";
    _tagDVXDBREC mail = MailRecord("kept back", 0);
    batch_->Append(mail);
    EXPECT_FALSE(batch_->HasRecords());

    batch_->Reset(16);
    EXPECT_EQ(1, batch_->IsEnabled(true));
    EXPECT_FALSE(batch_->HasRecords()) << "nothing queued";
    batch_->Append(mail);
    EXPECT_TRUE(batch_->HasRecords());

    tethra_sim::LiveDevice()->Find(6)->firstSyncPutAllowed = false;
    batch_->Reset(6);
    EXPECT_EQ(0, batch_->IsEnabled(true));
}

// Watches /proc from a thread of its own for the wait box program while
// the test's thread works, and keeps the command line of the first copy
// seen.
class WaitBoxWatcher {
public:
    explicit WaitBoxWatcher(std::string hostPath) : hostPath_(std::move(hostPath)), thread_([this] { Watch(); }) {}
    ~WaitBoxWatcher() { Stop(); }
    // Stops watching; the command line seen ("" for none), arguments
    // separated by blanks.
    std::string Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return seen_;
    }

private:
    void Watch() {
        while (!stop_ && seen_.empty()) {
            const std::vector<std::string> lines = CommandLines(hostPath_);
            if (!lines.empty()) seen_ = lines[0];
        }
    }

    std::string hostPath_;
    std::atomic<bool> stop_{false};
    std::string seen_;
    std::thread thread_;
};

TEST_F(BatchTest, CloseWritesTheQueueInOneBulkWriteInsideTheWaitBox) {
    WaitBoxWorld waitBox;
    StartBulk();
    _tagDVXDBREC inbox = MailRecord("bulk inbox", 0), sent = MailRecord("bulk sent", 3);
    batch_->Append(inbox);
    batch_->Append(sent);
    // Enough records that the bulk write takes a while: the watcher sees
    // the wait box during it.
    for (int i = 0; i < 20000; ++i) {
        _tagDVXDBREC more = MailRecord("more", i % 2);
        batch_->Append(more);
    }
    CountCallsOnLiveDevice();

    WaitBoxWatcher watcher(waitBox.program());
    EXPECT_EQ(0, CloseDatabase(1, 0));
    EXPECT_EQ("C:\\Korvell\\Data\\Lullpane.exe /M ", watcher.Stop());
    EXPECT_EQ(0, RunningCopies(waitBox.program()));
    EXPECT_EQ(0u, theApp.lastErrorCode);
    EXPECT_EQ(2u, PutFirstSyncCalls()) << "one bulk write per device database";
    EXPECT_TRUE(Has(Subjects(16), "bulk inbox"));
    EXPECT_TRUE(Has(Subjects(15), "bulk sent"));
    EXPECT_EQ(0u, batch_->QueuedCount());
    EXPECT_EQ(0, g_session.tempDbOpen);
}

TEST_F(BatchTest, AFailedBulkWriteFailsTheCloseAndEmptiesTheQueue) {
    WaitBoxWorld waitBox;
    StartBulk();
    _tagDVXDBREC inbox = MailRecord("lost", 0);
    batch_->Append(inbox);
    tethra_sim::LiveDevice()->FailCall("S_DVXPutFirstSyncRecordData", 1, 0x10000077, false);

    EXPECT_EQ(-9, CloseDatabase(1, 0));
    EXPECT_EQ(0x10000077u, theApp.lastErrorCode);
    EXPECT_FALSE(Has(Subjects(16), "lost"));
    EXPECT_EQ(0u, batch_->QueuedCount());
    EXPECT_EQ(1, g_session.tempDbOpen) << "the working database stays open";
    EXPECT_EQ(0, RunningCopies(waitBox.program()));
}

}  // namespace
