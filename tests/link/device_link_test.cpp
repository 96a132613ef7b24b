// The link's life cycle (opening in steps, resuming, tuning the timeouts, reading the system information,
// closing) and where the merged e-mail database's folder field is.
#include "device/simulator.h"
#include "link/device_link.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string.h>
#include <string>
#include <vector>

namespace link_testing {
namespace {

using namespace tethra_sim;

// An error code no device operation reports by itself.
constexpr uint32_t kInjectedError = 0x1000ABCDu;
// A fault that never fires, only counts the calls of its operation.
constexpr uint32_t kNeverCall = 1000000;

class LinkTest : public ::testing::Test {
protected:
    ~LinkTest() override {
        link_.reset();
        HeapDestroy(heap_);
    }

    // Saves image_ in the sandbox for $MORVANE_DEVICE and makes a fresh link (the port opening loads it).
    void UseImage() {
        const std::string path = sandbox_.root() + "/device.json";
        std::string error;
        ASSERT_TRUE(image_.Save(path, &error)) << error;
        testing_support::SetEnv("MORVANE_DEVICE", path);
        link_.reset();
        link_ = std::make_unique<CDeviceLink>();
    }
    void Connect() {
        ASSERT_NO_FATAL_FAILURE(UseImage());
        ASSERT_EQ(1, link_->OpenLink());
    }

    // The device behind the newest link.
    tethra_sim::DeviceImage& Device() { return *tethra_sim::LiveDevice(); }
    // Counts the calls of operation from now on; Calls tells how many.
    void CountCalls(const std::string& operation) { Device().FailCall(operation, kNeverCall, 0, false); }
    uint32_t Calls(const std::string& operation) {
        for (const tethra_sim::Fault& fault : Device().faults)
            if (fault.operation == operation && fault.call == kNeverCall) return fault.seen;
        ADD_FAILURE() << "calls of " << operation << " are not counted";
        return 0;
    }
    void Fail(const std::string& operation, uint32_t nth) { Device().FailCall(operation, nth, kInjectedError, false); }

    testing_support::Sandbox sandbox_;
    tethra_sim::DeviceImage image_ = tethra_sim::EmptyImage();
    std::unique_ptr<CDeviceLink> link_;
    HANDLE heap_ = HeapCreate(0, 0, 0);  // standing for the adapter's
};

// The 32-bit word at offset in a configuration record.
inline uint32_t ConfigWord(const _tagDVXCONF& config, size_t offset) {
    uint32_t word;
    memcpy(&word, config.bytes + offset, sizeof word);
    return word;
}

// Opening goes port, connection, configuration, system information, stopping at the first failing step; a
// link without configuration (0x10000005) opens all the same, unreadable system information is an old model.
TEST_F(LinkTest, OpenLinkStepsAndWhereEachFailureStopsIt) {
    enum Setup { kNormal, kNoDevice, kGetConfigFails, kNoConfig, kNoSystemInfo };
    const struct {
        Setup setup;
        int result;
        uint32_t state, connectError, error, noMerge;
    } kCases[] = {
        {kNormal, 1, 2, 0, 0, 1}, {kNoDevice, 0, 1, 1, kErrNoDevice, 0},
        {kGetConfigFails, 0, 2, 0, kErrNotConnected, 0}, {kNoConfig, 1, 2, 0, kErrNotSupported, 1},
        {kNoSystemInfo, 1, 2, 0, kInjectedError, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.setup);
        image_ = EmptyImage();
        image_.systemInfoValue = c.setup == kNoSystemInfo ? 40 : 31;
        image_.attached = c.setup != kNoDevice;
        image_.configSupported = c.setup != kNoConfig;
        if (c.setup == kGetConfigFails) image_.FailCall("S_DVXGetConfig", 1, kErrNotConnected, false);
        if (c.setup == kNoSystemInfo) image_.FailCall("S_DVXGetSystemInfo", 1, kInjectedError, false);
        ASSERT_NO_FATAL_FAILURE(UseImage());
        EXPECT_EQ(0u, link_->connectError) << "a new link starts with the flag clear";
        EXPECT_EQ(-1, link_->folderFieldIndex);
        EXPECT_EQ(c.result, link_->OpenLink());
        EXPECT_EQ(c.state, link_->linkState);
        EXPECT_EQ(c.connectError, link_->connectError);
        if (c.error != 0) {
            EXPECT_EQ(c.error, link_->GetLastError());
        }
        EXPECT_EQ(c.noMerge, link_->noMerge);
        link_->CloseLink();
    }
}

TEST_F(LinkTest, OpenLinkTunesOnlyTheTimeoutsAndCloseLinkSetsThemTo1500) {
    ASSERT_NO_FATAL_FAILURE(UseImage());
    ASSERT_EQ(1, link_->tethra.S_DVXOpenPort("", 0));
    _tagDVXCONF before, after;
    ASSERT_EQ(1, link_->tethra.S_DVXGetConfig(&before));
    ASSERT_NE(30000u, ConfigWord(before, 8));
    EXPECT_EQ(1, link_->OpenLink());
    ASSERT_EQ(1, link_->tethra.S_DVXGetConfig(&after));
    EXPECT_EQ(30000u, ConfigWord(after, 8));
    EXPECT_EQ(30000u, ConfigWord(after, 12));
    EXPECT_EQ(0, memcmp(before.bytes, after.bytes, 8));
    EXPECT_EQ(0, memcmp(before.bytes + 16, after.bytes + 16, sizeof before.bytes - 16));
    EXPECT_EQ(1, link_->CloseLink());
    // The device keeps its configuration; open the port behind the link's back to read it.
    ASSERT_EQ(1, link_->tethra.S_DVXOpenPort("", 0));
    ASSERT_EQ(1, link_->tethra.S_DVXGetConfig(&after));
    EXPECT_EQ(1500u, ConfigWord(after, 8));
    EXPECT_EQ(1500u, ConfigWord(after, 12));
}

// A failed open resumes at the step that failed (a connected link is only tuned and its system information
// reread), and the flags once set stay set.
TEST_F(LinkTest, OpenLinkResumesWhereItStopped) {
    image_.portAvailable = false;
    image_.FailCall("S_DVXWaitConnection", 1, kErrNoDevice, false);
    ASSERT_NO_FATAL_FAILURE(UseImage());
    EXPECT_EQ(0, link_->OpenLink());
    EXPECT_EQ(0u, link_->linkState);
    Device().portAvailable = true;
    EXPECT_EQ(0, link_->OpenLink());
    EXPECT_EQ(1u, link_->linkState);

    Device().FailCall("S_DVXOpenPort", 1, kInjectedError, true);
    CountCalls("S_DVXWaitConnection");
    EXPECT_EQ(1, link_->OpenLink());
    EXPECT_EQ(2u, link_->linkState);
    EXPECT_EQ(1u, Calls("S_DVXWaitConnection"));
    EXPECT_EQ(1u, link_->connectError) << "a later success leaves the flag set";
    EXPECT_EQ(0u, link_->noMerge);

    Device().FailCall("S_DVXWaitConnection", 1, kInjectedError, true);
    for (const auto& [value, language] : {std::pair<uint32_t, const char*>{31, "ja"}, {40, "en"}}) {
        Device().systemInfoValue = value;
        Device().language = language;
        EXPECT_EQ(1, link_->OpenLink());
        EXPECT_EQ(1u, link_->noMerge) << value;
        EXPECT_EQ(1u, link_->familyNameFirst) << value;
    }
}

TEST_F(LinkTest, GetConfigAndSetConfigForgiveOnly0x10000005) {
    static const uint32_t kErrors[] = {kErrNotSupported, kErrNoDevice, 0x10000004u, 0x10000015u, 0};
    ASSERT_NO_FATAL_FAILURE(Connect());
    for (uint32_t error : kErrors) {
        Device().FailCall("S_DVXGetConfig", 1, error, false);
        Device().FailCall("S_DVXSetConfig", 1, error, false);
        _tagDVXCONF config = {};
        EXPECT_EQ(error == kErrNotSupported, link_->GetConfig(&config)) << error;
        EXPECT_EQ(error == kErrNotSupported, link_->SetConfig(&config)) << error;
    }
}

// From 32 on the e-mail databases are merged; a language starting "ja" in any case puts the family name first.
TEST_F(LinkTest, SystemInformationSetsNoMergeAndFamilyNameFirst) {
    static const struct {
        uint32_t value;
        const char* language;
        uint32_t noMerge, familyNameFirst;
    } kRows[] = {
        {31, "en", 1, 0}, {32, "en", 0, 0}, {0, "de", 1, 0}, {0xFFFFFFFFu, "en", 0, 0},  // 0
        {40, "ja", 0, 1}, {40, "JA", 0, 1}, {31, "ja_JP", 1, 1},       // 4
        {40, "jp", 0, 0}, {40, "j", 0, 0},  {40, "", 0, 0},   {40, "aj", 0, 0},          // 8
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(std::to_string(row.value) + " " + row.language);
        image_ = EmptyImage();
        image_.systemInfoValue = row.value;
        image_.language = row.language;
        ASSERT_NO_FATAL_FAILURE(Connect());
        EXPECT_EQ(row.noMerge, link_->noMerge);
        EXPECT_EQ(row.familyNameFirst, link_->familyNameFirst);
        EXPECT_EQ(row.noMerge == 0, link_->IsMergedDatabase(16));
        EXPECT_FALSE(link_->IsMergedDatabase(15) || link_->IsMergedDatabase(6));
        link_->CloseLink();
    }
}

// CloseLink from every state succeeds, ends closed and closes only what is open, whatever the configuration.
TEST_F(LinkTest, CloseLinkClosesWhatIsOpen) {
    enum State { kClosed, kPortOnly, kConnected, kConnectedFailingConfig };
    const struct {
        State state;
        uint32_t closeConnection, closePort;
    } kCases[] = {{kClosed, 0, 0}, {kPortOnly, 0, 1}, {kConnected, 1, 1}, {kConnectedFailingConfig, 1, 1}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.state);
        image_ = EmptyImage();
        image_.attached = c.state != kPortOnly;
        ASSERT_NO_FATAL_FAILURE(UseImage());
        if (c.state != kClosed) {
            EXPECT_EQ(c.state == kPortOnly ? 0 : 1, link_->OpenLink());
        }
        if (c.state == kConnectedFailingConfig) Fail("S_DVXSetConfig", 1);
        for (const char* operation : {"S_DVXGetConfig", "S_DVXSetConfig", "S_DVXCloseConnection", "S_DVXClosePort"})
            CountCalls(operation);
        EXPECT_EQ(1, link_->CloseLink());
        EXPECT_EQ(0u, link_->linkState);
        EXPECT_EQ(c.closeConnection, Calls("S_DVXCloseConnection"));
        EXPECT_EQ(c.closePort, Calls("S_DVXClosePort"));
        if (c.state == kClosed) {
            EXPECT_EQ(0u, Calls("S_DVXSetConfig")) << "reading the configuration of a closed port fails";
            EXPECT_EQ(kErrPortNotOpen, link_->GetLastError());
        }
    }
}

// The folder field is found only in the merged database, by its exact name, the first one counting; once
// found its place stays, and a failed or unmerged read leaves it unknown.
TEST_F(LinkTest, GetDBInfoFindsTheFolderFieldOfTheMergedDatabase) {
    std::vector<tethra_sim::LinkField>& fields = image_.Find(16)->fields;
    const int original = image_.Find(16)->FieldIndex("S_FOLDERID");
    ASSERT_GT(original, 0);
    fields[original].name = "s_folderid";
    fields[4].name = "S_FOLDERID ";
    image_.systemInfoValue = 32;  // merged
    ASSERT_NO_FATAL_FAILURE(Connect());
    _tagS_DVXDBINFO info = {};
    ASSERT_EQ(1, link_->GetDBInfo(16, heap_, &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
    Device().Find(16)->fields[6].name = "S_FOLDERID";
    Device().Find(16)->fields[8].name = "S_FOLDERID";
    ASSERT_EQ(1, link_->GetDBInfo(15, heap_, &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
    Fail("S_DVXGetDBInfo", 1);
    EXPECT_EQ(0, link_->GetDBInfo(16, heap_, &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
    ASSERT_EQ(1, link_->GetDBInfo(16, heap_, &info));
    EXPECT_EQ(6, link_->folderFieldIndex);
    Device().Find(16)->fields[6].name = "S_OTHER";
    ASSERT_EQ(1, link_->GetDBInfo(16, heap_, &info));
    EXPECT_EQ(6, link_->folderFieldIndex);
    link_->CloseLink();
    image_.systemInfoValue = 31;
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(1, link_->GetDBInfo(16, heap_, &info));
    EXPECT_EQ(-1, link_->folderFieldIndex);
}

// The bulk write is asked of the device database itself, merged or not.
TEST_F(LinkTest, IsEnablePutFirstSyncRecordDataIsNotMerged) {
    image_.Find(16)->firstSyncPutAllowed = false;
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(link_->IsMergedDatabase(16));
    EXPECT_EQ(0, link_->IsEnablePutFirstSyncRecordData(16));
    EXPECT_EQ(1, link_->IsEnablePutFirstSyncRecordData(15));
}

// Closing saves the device as a full write would, whether the session changed a database's records or not.
TEST_F(LinkTest, ClosingSavesTheDeviceAsAFullWriteWould) {
    const std::string path = sandbox_.root() + "/device.json";
    image_ = DemoImage();  // records in every database
    const uint32_t id = image_.Find(1)->records.back().id;
    LinkValue before, after;
    ASSERT_TRUE(image_.GetValue(1, id, "S_LOCATION", &before));
    ASSERT_FALSE(before.bytes.empty());
    for (bool edit : {false, true}) {
        ASSERT_NO_FATAL_FAILURE(Connect());
        LinkValue edited = before;  // as long as it was: only its bytes tell
        ++edited.bytes.back();
        if (edit) {
            ASSERT_TRUE(Device().ChangeRecord(1, id, {{"S_LOCATION", edited}}));
        }
        ASSERT_EQ(1, link_->CloseLink());
        DeviceImage saved;
        std::string error;
        ASSERT_TRUE(saved.Load(path, &error)) << error;
        EXPECT_EQ(testing_support::ReadFile(path), saved.ToJson());
        ASSERT_TRUE(saved.GetValue(1, id, "S_LOCATION", &after));
        EXPECT_EQ(after, edit ? edited : before);
    }
}

// Records read as the image holds them, also after a save in between has moved every record in the file
// (the change lists were emptied), half of them read for the first time.
TEST_F(LinkTest, RecordsReadAsTheImageHoldsThemAcrossSaves) {
    image_ = DemoImage();
    for (Database& db : image_.databases)
        for (const Record& r : db.records) db.changes[1].push_back(r.id);
    ASSERT_NO_FATAL_FAILURE(Connect());
    for (int round = 0; round < 2; ++round) {
        for (const Database& db : image_.databases) {
            for (size_t i = round == 0 ? 1 : 0; i < db.records.size(); i += 2 - round) {
                const Record& r = db.records[i];
                _tagDVXDBREC read = {};
                read.recordId = r.id;
                _tagDVXDBREC* list = &read;
                uint32_t count = 0;
                ASSERT_EQ(1, link_->GetRecordData(db.id, &list, 1, heap_, &count)) << db.id << "/" << r.id;
                ASSERT_EQ(read.fieldCount, r.values.size());
                for (size_t f = 0; f < r.values.size(); ++f) {
                    const _tagDVXFIELD& slot = read.fields[f];
                    const LinkValue& v = r.values[f];
                    EXPECT_EQ(slot.length, v.absent ? kDvxAbsentLength : v.bytes.size()) << r.id << "." << f;
                    if (!v.absent && slot.length == v.bytes.size() && !v.bytes.empty()) {
                        EXPECT_EQ(0, memcmp(slot.data, v.bytes.data(), v.bytes.size())) << r.id << "." << f;
                    }
                }
            }
            if (round == 0) {
                ASSERT_EQ(1, link_->CleanUpAllSyncState(db.id));
            }
        }
        ASSERT_EQ(1, link_->CloseLink());
        ASSERT_EQ(1, link_->OpenLink());
    }
}

}  // namespace
}  // namespace link_testing
