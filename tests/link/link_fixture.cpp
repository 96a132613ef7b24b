#include "link_fixture.h"

#include <string.h>

namespace link_testing {

using tethra_sim::Database;
using tethra_sim::DeviceImage;
using tethra_sim::LinkField;

OutgoingRecord::OutgoingRecord(uint32_t recordId, const std::vector<LinkField>& fields)
    : names_(fields), slots_(fields.size()), values_(fields.size()) {
    for (_tagDVXFIELD& slot : slots_) slot = _tagDVXFIELD{12, 0, nullptr};
    record_.size = 16;
    record_.fieldCount = static_cast<uint32_t>(slots_.size());
    record_.recordId = recordId;
    record_.fields = slots_.data();
}

void OutgoingRecord::Set(const std::string& field, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i].name != field) continue;
        values_[i] = bytes;
        slots_[i].length = static_cast<uint32_t>(bytes.size());
        slots_[i].data = values_[i].empty() ? nullptr : values_[i].data();
        return;
    }
    ADD_FAILURE() << "no link field " << field;
}

void OutgoingRecord::SetText(const std::string& field, const std::string& text) {
    Set(field, std::vector<uint8_t>(text.begin(), text.end()));
}

void OutgoingRecord::SetAbsent(const std::string& field) {
    Set(field, {});
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i].name == field) slots_[i].length = 0xFFFFFFFFu;
}

LinkTest::LinkTest() : image_(tethra_sim::EmptyImage()) {}

LinkTest::~LinkTest() {
    link_.reset();
    if (heap_ != nullptr) HeapDestroy(heap_);
}

void LinkTest::UseImage() {
    const std::string path = sandbox_.root() + "/device.json";
    std::string error;
    ASSERT_TRUE(image_.Save(path, &error)) << error;
    testing_support::SetEnv("MORVANE_DEVICE", path);
    link_.reset();
    link_ = std::make_unique<CDeviceLink>();
}

void LinkTest::Connect() {
    ASSERT_NO_FATAL_FAILURE(UseImage());
    ASSERT_EQ(1, link_->OpenLink());
}

DeviceImage& LinkTest::Device() {
    DeviceImage* device = tethra_sim::LiveDevice();
    if (device == nullptr) {
        ADD_FAILURE() << "no live device";
        return image_;
    }
    return *device;
}

Database& LinkTest::DeviceDb(uint32_t dbId) {
    Database* db = Device().Find(dbId);
    if (db == nullptr) {
        ADD_FAILURE() << "no database " << dbId;
        return Device().databases.front();
    }
    return *db;
}

void LinkTest::CountCalls(const std::string& operation) { Device().FailCall(operation, kNeverCall, 0, false); }

uint32_t LinkTest::Calls(const std::string& operation) {
    for (const tethra_sim::Fault& fault : Device().faults)
        if (fault.operation == operation && fault.call == kNeverCall) return fault.seen;
    ADD_FAILURE() << "calls of " << operation << " are not counted";
    return 0;
}

HANDLE LinkTest::Heap() {
    if (heap_ == nullptr) heap_ = HeapCreate(0, 0, 0);
    return heap_;
}

std::string LinkTest::TextField(uint32_t dbId) {
    for (const LinkField& field : tethra_sim::BuiltInFields(dbId))
        if (field.name == "S_SUBJECT") return field.name;
    for (const LinkField& field : tethra_sim::BuiltInFields(dbId))
        if (field.type == tethra_sim::kLinkText) return field.name;
    return "";
}

void LinkTest::AddRecordWithId(uint32_t dbId, uint32_t recordId, const std::string& subject) {
    Database* db = image_.Find(dbId);
    ASSERT_NE(nullptr, db) << dbId;
    db->nextId = recordId;
    ASSERT_EQ(recordId, image_.AddRecord(dbId, {{TextField(dbId), tethra_sim::TextValue(subject)}}));
}

std::string LinkTest::StoredSubject(uint32_t dbId, uint32_t recordId) {
    tethra_sim::LinkValue value;
    if (!Device().GetValue(dbId, recordId, TextField(dbId), &value)) return "<none>";
    return std::string(value.bytes.begin(), value.bytes.end());
}

std::string LinkTest::SubjectOf(uint32_t dbId, const _tagDVXDBREC& record) {
    const std::vector<LinkField> fields = tethra_sim::BuiltInFields(dbId);
    for (size_t i = 0; i < fields.size() && i < record.fieldCount; ++i) {
        if (fields[i].name != TextField(dbId)) continue;
        const _tagDVXFIELD& slot = record.fields[i];
        if (slot.length == 0 || slot.length == 0xFFFFFFFFu || slot.data == nullptr) return "";
        return std::string(reinterpret_cast<const char*>(slot.data), slot.length);
    }
    return "<none>";
}

void MergedMailTest::ConnectModel(uint32_t systemInfoValue) {
    image_.systemInfoValue = systemInfoValue;
    image_.Find(15)->syncEnabled = true;
    image_.Find(16)->syncEnabled = true;
    ASSERT_NO_FATAL_FAILURE(Connect());
}

std::vector<LinkField> MergedMailTest::MailFields() {
    _tagS_DVXDBINFO info;
    memset(&info, 0, sizeof info);
    EXPECT_EQ(1, link_->GetDBInfo(16, Heap(), &info));
    std::vector<LinkField> fields;
    for (uint32_t i = 0; i < info.fieldCount; ++i) fields.push_back({info.fields[i].name, info.fields[i].type});
    return fields;
}

uint32_t ConfigWord(const _tagDVXCONF& config, size_t offset) {
    uint32_t word;
    memcpy(&word, config.bytes + offset, sizeof word);
    return word;
}

}  // namespace link_testing
