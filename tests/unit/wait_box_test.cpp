// The first-synchronisation batch, the wait box around its bulk write, and
// the close that hands it to the simulated device.
#include "app/morvane_app.h"
#include "database/close_database.h"
#include "database/first_sync_batch.h"
#include "database/wait_box.h"
#include "link/device_link.h"
#include "link_records.h"
#include "session/sync_session.h"
#include "support/sandbox.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testing_support::Sandbox;

namespace {

const char kDataFolder[] = "C:\\Korvell\\Data\\";

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

// Command lines of the processes running the program at hostPath,
// arguments separated by blanks.
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

    size_t Running() const { return CommandLines(program_).size(); }
    // The status line once the program has written it (up to 10 s).
    std::string AwaitStatus() const {
        for (int i = 0; i < 200; ++i) {
            const std::string text = testing_support::ReadFile(status_);
            if (!text.empty()) return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "";
    }
    // Holds the live device's operation until the wait box runs (up to
    // 10 s) and keeps its command line: the adapter's wait then surely
    // spans the program's start, however fast the device answers.
    void WatchDuring(const std::string& operation) {
        tethra_sim::LiveDevice()->beforeCall = [this, operation](const std::string& called) {
            for (int i = 0; called == operation && seen_.empty() && i < 1000; ++i) {
                const std::vector<std::string> lines = CommandLines(program_);
                if (!lines.empty()) seen_ = lines[0];
                else std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        };
    }
    // The wait box's command line as seen during the operation.
    const std::string& Seen() const { return seen_; }
    ~WaitBoxWorld() {
        if (tethra_sim::LiveDevice() != nullptr) tethra_sim::LiveDevice()->beforeCall = nullptr;
        testing_support::UnsetEnv("LULLPANE_STATUS");
    }

private:
    Sandbox sandbox_;
    std::string program_, status_, seen_;
};

TEST(WaitBox, StartsTheProgramAndTerminatesIt) {
    WaitBoxWorld world;
    RunWaitBox(true, true);
    EXPECT_EQ("waiting /M\n", world.AwaitStatus());
    EXPECT_EQ(1u, world.Running());
    RunWaitBox(false, true);
    EXPECT_EQ(0u, world.Running());
    RunWaitBox(false, true);  // nothing held: nothing happens
}

// A connected link on the demo device and new mail records in its link
// layout; the device link learns where "S_FOLDERID" is.
class BatchTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, g_link.OpenLink());
        ASSERT_EQ(1, g_link.GetDBInfo(16, heap_.get(), &info_));
        ASSERT_GE(g_link.folderFieldIndex, 0);
        batch_ = theApp.firstSyncBatch;
        ASSERT_NE(nullptr, batch_);
        std::vector<std::pair<std::string, uint32_t>> fields;
        for (uint32_t i = 0; i < info_.fieldCount; ++i) fields.emplace_back(info_.fields[i].name, info_.fields[i].type);
        layout_ = std::make_unique<test_records::LinkInfo>(fields);
    }
    void TearDown() override { g_link.CloseLink(); }

    // Queues a mail bound for device folder folder.
    void Append(const std::string& subject, uint32_t folder) {
        test_records::LinkRecord mail(*layout_, 0);
        mail.Text("S_SUBJECT", subject).Set("S_FOLDERID", test_records::Le(folder, 4));
        batch_->Append(*mail.get());
    }

    // Mails on the live device, in both of its E-mail databases.
    static size_t Mails() {
        return tethra_sim::LiveDevice()->Find(16)->records.size() + tethra_sim::LiveDevice()->Find(15)->records.size();
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

    test_records::TestHeap heap_;
    _tagS_DVXDBINFO info_{};
    std::unique_ptr<test_records::LinkInfo> layout_;
    FirstSyncBatch* batch_ = nullptr;
};

TEST_F(BatchTest, EnableStateIsDecidedOncePerReset) {
    batch_->Reset(16);
    EXPECT_EQ(0, batch_->IsEnabled(false));
    EXPECT_EQ(0, batch_->IsEnabled(true)) << "settled without asking";
    Append("kept back", 0);
    EXPECT_FALSE(batch_->HasRecords());
    batch_->Reset(16);
    EXPECT_EQ(1, batch_->IsEnabled(true));
    EXPECT_FALSE(batch_->HasRecords()) << "nothing queued";
    Append("queued", 0);
    EXPECT_TRUE(batch_->HasRecords());
    tethra_sim::LiveDevice()->Find(6)->firstSyncPutAllowed = false;
    batch_->Reset(6);
    EXPECT_EQ(0, batch_->IsEnabled(true));
}

TEST_F(BatchTest, CloseWritesTheQueueInOneBulkWriteInsideTheWaitBox) {
    WaitBoxWorld waitBox;
    StartBulk();
    const size_t before = Mails();
    for (uint32_t i = 0; i < 200; ++i) Append("mail", i % 4);
    // A fault that never fires counts the calls.
    tethra_sim::LiveDevice()->FailCall("S_DVXPutFirstSyncRecordData", 0xFFFFFFFFu, 0x10000002, false);
    waitBox.WatchDuring("S_DVXPutFirstSyncRecordData");
    EXPECT_EQ(0, CloseDatabase(1, 0));
    EXPECT_EQ("C:\\Korvell\\Data\\Lullpane.exe /M ", waitBox.Seen());
    EXPECT_EQ(0u, waitBox.Running());
    EXPECT_EQ(0u, theApp.lastErrorCode);
    EXPECT_EQ(2u, tethra_sim::LiveDevice()->faults.at(0).seen) << "one bulk write per device database";
    EXPECT_EQ(before + 200, Mails());
    EXPECT_EQ(0u, batch_->QueuedCount());
    EXPECT_EQ(0, g_session.tempDbOpen);
}

TEST_F(BatchTest, AFailedBulkWriteFailsTheCloseAndEmptiesTheQueue) {
    WaitBoxWorld waitBox;
    StartBulk();
    const size_t before = Mails();
    Append("lost", 0);
    tethra_sim::LiveDevice()->FailCall("S_DVXPutFirstSyncRecordData", 1, 0x10000077, false);
    EXPECT_EQ(-9, CloseDatabase(1, 0));
    EXPECT_EQ(0x10000077u, theApp.lastErrorCode);
    EXPECT_EQ(before, Mails());
    EXPECT_EQ(0u, batch_->QueuedCount());
    EXPECT_EQ(1, g_session.tempDbOpen) << "the working database stays open";
    EXPECT_EQ(0u, waitBox.Running());
}

}  // namespace
