// A CDeviceLink on a simulated handheld whose image the test writes first,
// and the helpers the link tests share: link records the way the adapter
// hands them to the device, and reading what the device stored.
#ifndef MORVANE_TESTS_LINK_LINK_FIXTURE_H
#define MORVANE_TESTS_LINK_LINK_FIXTURE_H

#include "device/simulator.h"
#include "link/device_link.h"
#include "support/link_record.h"
#include "support/sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string.h>
#include <string>
#include <vector>

namespace link_testing {

using testing_support::OutgoingRecord;

// An error code no device operation reports by itself.
constexpr uint32_t kInjectedError = 0x1000ABCDu;
// A fault that never fires, only counts the calls of its operation.
constexpr uint32_t kNeverCall = 1000000;

class LinkTest : public ::testing::Test {
protected:
    ~LinkTest() override {
        link_.reset();
        if (heap_ != nullptr) HeapDestroy(heap_);
    }

    // Saves image_ in the sandbox, points $MORVANE_DEVICE at it and makes
    // a fresh link (the device loads the image when the port opens).
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
    // A device with the given system information value (32 merges the
    // e-mail databases, 31 does not) whose two mail databases take part in
    // synchronisation.
    void ConnectModel(uint32_t systemInfoValue) {
        image_.systemInfoValue = systemInfoValue;
        image_.Find(15)->syncEnabled = true;
        image_.Find(16)->syncEnabled = true;
        ASSERT_NO_FATAL_FAILURE(Connect());
    }

    // The device behind the newest link.
    tethra_sim::DeviceImage& Device() { return *tethra_sim::LiveDevice(); }
    tethra_sim::Database& DeviceDb(uint32_t dbId) { return *Device().Find(dbId); }
    // Counts the calls of operation from now on; Calls tells how many.
    void CountCalls(const std::string& operation) { Device().FailCall(operation, kNeverCall, 0, false); }
    uint32_t Calls(const std::string& operation) {
        for (const tethra_sim::Fault& fault : Device().faults)
            if (fault.operation == operation && fault.call == kNeverCall) return fault.seen;
        ADD_FAILURE() << "calls of " << operation << " are not counted";
        return 0;
    }
    void Fail(const std::string& operation, uint32_t nth) { Device().FailCall(operation, nth, kInjectedError, false); }

    // A heap standing for the adapter's, destroyed with the test.
    HANDLE Heap() {
        if (heap_ == nullptr) heap_ = HeapCreate(0, 0, 0);
        return heap_;
    }

    // Asks for database 16's field list, as the adapter does when it opens
    // the database (the link then knows the folder field), and returns it.
    std::vector<tethra_sim::LinkField> MailFields() {
        _tagS_DVXDBINFO info;
        memset(&info, 0, sizeof info);
        EXPECT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
        std::vector<tethra_sim::LinkField> fields;
        for (uint32_t i = 0; i < info.fieldCount; ++i) fields.push_back({info.fields[i].name, info.fields[i].type});
        return fields;
    }
    // The bytes of a folder number as the link carries them.
    static std::vector<uint8_t> Folder(int32_t value) { return tethra_sim::NumberValue(value).bytes; }

    // In image_: a record with this id in dbId whose text field (the
    // subject where there is one) is subject.
    void AddRecordWithId(uint32_t dbId, uint32_t recordId, const std::string& subject) {
        image_.Find(dbId)->nextId = recordId;
        ASSERT_EQ(recordId, image_.AddRecord(dbId, {{TextField(dbId), tethra_sim::TextValue(subject)}}));
    }
    // The subject text the device holds for a record ("<none>" when missing).
    std::string StoredSubject(uint32_t dbId, uint32_t recordId) {
        tethra_sim::LinkValue value;
        if (!Device().GetValue(dbId, recordId, TextField(dbId), &value)) return "<none>";
        return std::string(value.bytes.begin(), value.bytes.end());
    }
    // The subject text of a record the device returned.
    static std::string SubjectOf(uint32_t dbId, const _tagDVXDBREC& record) {
        const std::vector<tethra_sim::LinkField> fields = tethra_sim::BuiltInFields(dbId);
        for (size_t i = 0; i < fields.size() && i < record.fieldCount; ++i) {
            const _tagDVXFIELD& slot = record.fields[i];
            if (fields[i].name != TextField(dbId)) continue;
            if (slot.length == 0 || slot.length == 0xFFFFFFFFu || slot.data == nullptr) return "";
            return std::string(reinterpret_cast<const char*>(slot.data), slot.length);
        }
        return "<none>";
    }
    static std::string TextField(uint32_t dbId) {
        for (const tethra_sim::LinkField& field : tethra_sim::BuiltInFields(dbId))
            if (field.name == "S_SUBJECT") return field.name;
        for (const tethra_sim::LinkField& field : tethra_sim::BuiltInFields(dbId))
            if (field.type == tethra_sim::kLinkText) return field.name;
        return "";
    }

    testing_support::Sandbox sandbox_;
    tethra_sim::DeviceImage image_ = tethra_sim::EmptyImage();
    std::unique_ptr<CDeviceLink> link_;
    HANDLE heap_ = nullptr;
};

// The 32-bit word at offset in a configuration record.
inline uint32_t ConfigWord(const _tagDVXCONF& config, size_t offset) {
    uint32_t word;
    memcpy(&word, config.bytes + offset, sizeof word);
    return word;
}

}  // namespace link_testing

#endif
