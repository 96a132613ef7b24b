// CTethraApp against the simulated handheld, called as the adapter calls it.
#include "device/simulator.h"
#include "link/tethra.h"
#include "platform/platform_test.h"
#include "support/link_record.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace tethra_sim;
using testing_support::OutgoingRecord;

namespace {

class DeviceLink : public ::testing::Test {
protected:
    ~DeviceLink() override { HeapDestroy(heap_); }

    // A device built from this image, through an image file.
    void UseImage(const DeviceImage& image) {
        ASSERT_TRUE(image.Save(path_, nullptr));
        testing_support::SetEnv("MORVANE_DEVICE", path_);
    }
    void Connect() {
        app_ = std::make_unique<CTethraApp>();
        ASSERT_EQ(app_->S_DVXOpenPort("", 0), 1);
        _tagDVXCONNECTINFO info = {};
        ASSERT_EQ(app_->S_DVXWaitConnection(30000, &info), 1);
    }
    DeviceImage& Live() { return *LiveDevice(); }

    testing_support::Sandbox sandbox_;
    std::string path_ = sandbox_.root() + "/device.json";
    std::unique_ptr<CTethraApp> app_;
    HANDLE heap_ = HeapCreate(0, 1, 0);
};

// New records get the next ids, changed ones keep every absent field; the
// PC's writes do not enter the change lists.  A batch with one bad record
// writes nothing.
TEST_F(DeviceLink, PutRecordDataWritesWholeBatchesOrNothing) {
    Connect();
    const std::vector<LinkField> todo = BuiltInFields(6), schedule = BuiltInFields(1);
    OutgoingRecord first(0, todo), second(0, todo);
    first.SetText("S_DESCRIPTION3", "Water plants");
    first.Set("S_PRIORITY", {4, 0, 0, 0});
    second.SetText("S_DESCRIPTION3", "Pay rent");
    _tagDVXDBREC* records[2] = {first.get(), second.get()};
    uint32_t written = 0;
    ASSERT_EQ(app_->S_DVXPutRecordData(6, records, 2, &written), 1);
    EXPECT_EQ(written, 2u);
    EXPECT_NE(first.id(), 0u);
    EXPECT_EQ(second.id(), first.id() + 1);
    LinkValue v;
    ASSERT_TRUE(Live().GetValue(6, first.id(), "S_PRIORITY", &v));
    EXPECT_EQ(v.bytes, (std::vector<uint8_t>{4, 0, 0, 0}));
    ASSERT_TRUE(Live().GetValue(6, second.id(), "S_DESCRIPTION3", &v));
    EXPECT_EQ(v, TextValue("Pay rent"));
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(Live().Find(6)->changes[k].empty());

    const uint32_t id = Live().Find(1)->records.front().id;
    OutgoingRecord change(id, schedule);
    for (const LinkField& field : schedule) change.Set(field.name, {}, true);
    change.SetText("S_LOCATION", "Room 2");
    change.Set("S_CATEGORY", {});
    records[0] = change.get();
    ASSERT_EQ(app_->S_DVXPutRecordData(1, records, 1, &written), 1);
    EXPECT_EQ(change.id(), id);
    for (const auto& [field, value] : std::vector<std::pair<const char*, LinkValue>>{
             {"S_LOCATION", TextValue("Room 2")},
             {"S_DESCRIPTION4", TextValue("Project review")},
             {"S_CATEGORY", {}}}) {
        Live().GetValue(1, id, field, &v);
        EXPECT_EQ(v.bytes, value.bytes) << field;
    }

    const size_t before = Live().Find(1)->records.size();
    OutgoingRecord good(0, schedule), badDate(0, schedule), unknown(4242, schedule);
    badDate.Set("S_START_DATE", {1, 2, 3});
    const std::pair<_tagDVXDBREC*, uint32_t> kBad[] = {
        {badDate.get(), kErrBadFieldValue}, {unknown.get(), kErrRecordNotFound}, {nullptr, kErrInvalidParameter}};
    for (const auto& [bad, error] : kBad) {
        _tagDVXDBREC* batch[2] = {good.get(), bad};
        written = 9;
        EXPECT_EQ(app_->S_DVXPutRecordData(1, batch, 2, &written), 0);
        EXPECT_EQ(app_->S_DVXGetLastError(), error);
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(good.id(), 0u);
    }
    EXPECT_EQ(Live().Find(1)->records.size(), before);
}

// The image is read when the port opens (an unreadable one fails it) and
// saved, whole and atomically, when it closes.
TEST_F(DeviceLink, ImageIsReadWhenThePortOpensAndSavedWhenItCloses) {
    testing_support::SetEnv("MORVANE_DEVICE", path_);
    Connect();
    const uint32_t id = Live().AddRecord(8, {{"S_PAGE_NOTE", TextValue("Kept")}});
    EXPECT_FALSE(testing_support::FileExists(path_));
    ASSERT_EQ(app_->S_DVXCloseConnection(), 1);
    ASSERT_EQ(app_->S_DVXClosePort(), 1);
    EXPECT_FALSE(testing_support::FileExists(path_ + ".tmp"));
    DeviceImage saved;
    ASSERT_TRUE(saved.Load(path_, nullptr));
    LinkValue v;
    ASSERT_TRUE(saved.GetValue(8, id, "S_PAGE_NOTE", &v));
    EXPECT_EQ(v, TextValue("Kept"));
    EXPECT_EQ(saved.Find(8)->changes[0], std::vector<uint32_t>{id});
    testing_support::WriteFile(path_, "{ not json");
    CTethraApp app;
    EXPECT_EQ(app.S_DVXOpenPort("", 0), 0);
    EXPECT_EQ(app.S_DVXGetLastError(), kErrImageUnreadable);
}

// Calls the device refuses, and the error code each leaves.
TEST_F(DeviceLink, RefusedCallsReportTheirCodes) {
    Connect();
    const uint32_t known = Live().Find(6)->records.front().id;
    _tagDVXDBREC a = {16, 0, known, nullptr}, b = {16, 0, 777, nullptr};
    _tagDVXDBREC* both[2] = {&a, &b};
    uint32_t count = 5;
    _tagS_DVXDBINFO info = {};
    uint8_t id8[8], append[32], flags[2];
    const uint32_t unknownDb[1] = {3};
    CTethraApp& app = *app_;
    const struct {
        const char* name;
        std::function<int()> call;
        uint32_t error;
    } kRefusals[] = {
        {"unknown database", [&] { return app.S_DVXGetDBInfo(2, heap_, &info); }, kErrUnknownDatabase},
        {"one id missing", [&] { return app.S_DVXGetRecordData(6, both, 2, heap_, &count); }, kErrRecordNotFound},
        {"unknown delete", [&] { return app.S_DVXDeleteRecordData(7, 9999); }, kErrRecordNotFound},
        {"bad sync time", [&] { return app.S_DVXSetSyncTime("2026-12-06"); }, kErrBadSyncTime},
        {"contract of an unknown database",
         [&] { return app.S_DVXGetSyncContractInfo(unknownDb, 1, id8, 8, id8, 8, append, 32, flags); },
         kErrUnknownDatabase},
        {"no memory", [&] {
             PlatformFailCall("HeapAlloc", 1, 1);
             const int result = app.S_DVXGetDBInfo(7, heap_, &info);
             PlatformClearFaults();
             return result;
         }, kErrOutOfMemory},
    };
    for (const auto& r : kRefusals) {
        EXPECT_EQ(r.call(), 0) << r.name;
        EXPECT_EQ(app.S_DVXGetLastError(), r.error) << r.name;
    }
    EXPECT_EQ(count, 0u) << "a failed fetch reports no record";
    EXPECT_EQ(a.fields, nullptr) << "and fills none";
}

// A fault of the image file fails the nth call of its operation, counting
// across sessions, once or from then on.
TEST_F(DeviceLink, FaultsFromTheImageFileCountAcrossSessions) {
    DeviceImage image = DemoImage();
    image.FailCall("S_DVXGetDBInfo", 3, kErrNoSyncState, false);
    image.FailCall("S_DVXGetSyncTime", 2, 0x10000077, true);
    UseImage(image);
    Connect();
    _tagS_DVXDBINFO info = {};
    EXPECT_EQ(app_->S_DVXGetDBInfo(1, heap_, &info), 1);
    ASSERT_EQ(app_->S_DVXClosePort(), 1);
    Connect();
    EXPECT_EQ(app_->S_DVXGetDBInfo(1, heap_, &info), 1);
    EXPECT_EQ(app_->S_DVXGetDBInfo(1, heap_, &info), 0);
    EXPECT_EQ(app_->S_DVXGetLastError(), kErrNoSyncState);
    EXPECT_EQ(app_->S_DVXGetDBInfo(1, heap_, &info), 1);
    char time[15] = {};
    EXPECT_EQ(app_->S_DVXGetSyncTime(time, 14), 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(app_->S_DVXGetSyncTime(time, 14), 0);
        EXPECT_EQ(app_->S_DVXGetLastError(), 0x10000077u);
    }
}

}  // namespace
