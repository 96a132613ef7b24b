// The simulated handheld's own records and field lists through both record
// conversions: every demo record read into working fields and stored back
// must give the device the values it had, in the link forms the device
// uses, except where the adapter deliberately changes them.
#include "device/simulator.h"
#include "platform/win32api.h"
#include "schema/field_table.h"
#include "schema/record_convert.h"

#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

using tethra_sim::LinkValue;

class Heap {
public:
    Heap() : heap_(HeapCreate(0, 1, 0)) {}
    ~Heap() { HeapDestroy(heap_); }
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;
    HANDLE get() const { return heap_; }

private:
    HANDLE heap_;
};

// A device database's field list as GetDBInfo hands it over.
struct DeviceInfo {
    std::vector<_tagS_DVXFIELDINFO> fields;
    _tagS_DVXDBINFO info{};

    explicit DeviceInfo(const tethra_sim::Database& db) : fields(db.fields.size()) {
        for (size_t j = 0; j < fields.size(); ++j) {
            fields[j].size = sizeof(_tagS_DVXFIELDINFO);
            strncpy(fields[j].name, db.fields[j].name.c_str(), sizeof(fields[j].name) - 1);
            fields[j].type = db.fields[j].type;
        }
        info = _tagS_DVXDBINFO{sizeof(info), db.id, static_cast<uint32_t>(fields.size()), fields.data()};
    }
};

// A device record as GetRecordData hands it over.
struct DeviceRecord {
    std::vector<std::vector<uint8_t>> values;
    std::vector<_tagDVXFIELD> slots;
    _tagDVXDBREC record{};

    explicit DeviceRecord(const tethra_sim::Record& r) : values(r.values.size()), slots(r.values.size()) {
        for (size_t j = 0; j < slots.size(); ++j) {
            values[j] = r.values[j].bytes;
            slots[j].size = sizeof(_tagDVXFIELD);
            slots[j].length = r.values[j].absent ? 0xFFFFFFFFu : static_cast<uint32_t>(values[j].size());
            slots[j].data = values[j].empty() ? nullptr : values[j].data();
        }
        record = _tagDVXDBREC{sizeof(record), static_cast<uint32_t>(slots.size()), r.id, slots.data()};
    }
};

LinkValue ValueOf(const _tagDVXFIELD& slot) {
    LinkValue v;
    v.absent = slot.length == 0xFFFFFFFFu;
    if (!v.absent && slot.length > 0) v.bytes.assign(slot.data, slot.data + slot.length);
    return v;
}

double DateOf(const LinkValue& v) {
    double d = 0;
    if (v.bytes.size() == 8) memcpy(&d, v.bytes.data(), 8);
    return d;
}

uint32_t NumberOf(const LinkValue& v) {
    uint32_t n = 0;
    for (size_t k = 0; k < v.bytes.size() && k < 4; ++k) n |= static_cast<uint32_t>(v.bytes[k]) << (8 * k);
    return n;
}

// True when the adapter's map fills a device field from this link field.
bool Mapped(uint32_t dbId, const std::string& name) {
    DatabaseSchema schema;
    if (!SelectDatabaseSchema(dbId, &schema)) return false;
    for (uint32_t k = 0; k < schema.linkNameCount; ++k)
        if (schema.linkNames[k].fieldId != kLinkOnlyField && name == schema.linkNames[k].name) return true;
    return false;
}

// The host's 1-3 priorities against the device's 0-5, both ways.
uint32_t PriorityThroughHost(uint8_t device) {
    uint8_t host = device <= 2 ? 1 : device == 3 ? 2 : 3;
    return host <= 1 ? 2 : host == 2 ? 3 : 4;
}

void ExpectStoredBack(uint32_t dbId, const std::string& name, uint32_t type, const LinkValue& was,
                      const LinkValue& sent) {
    SCOPED_TRACE(name);
    if (was.absent || was.bytes.empty()) {
        EXPECT_EQ(sent, was);
        return;
    }
    switch (type) {
    case tethra_sim::kLinkByte:
        ASSERT_EQ(sent.bytes.size(), 4u);
        EXPECT_EQ(NumberOf(sent), dbId == kToDoDbId && name == "S_PRIORITY" ? PriorityThroughHost(was.bytes[0])
                                                                            : NumberOf(was));
        break;
    case tethra_sim::kLinkDate:
        if (DateOf(was) == 0.0) {
            EXPECT_TRUE(sent.bytes.empty()) << "a date of 0 comes back as no date";
        } else {
            EXPECT_EQ(DateOf(sent), DateOf(was));
        }
        break;
    case tethra_sim::kLinkTime:
        // The device schema keeps hours and minutes.
        EXPECT_NEAR(DateOf(sent), floor(DateOf(was) * 1440 + 1e-6) / 1440, 1e-9);
        break;
    case tethra_sim::kLinkDateTime:
        EXPECT_NEAR(DateOf(sent), DateOf(was), 0.5 / 86400);
        break;
    default:
        EXPECT_EQ(sent, was);
        break;
    }
}

void CheckDatabase(uint32_t dbId, uint32_t deviceDbId, ConversionOptions options) {
    tethra_sim::DeviceImage image = tethra_sim::DemoImage();
    const tethra_sim::Database* db = image.Find(deviceDbId);
    ASSERT_NE(db, nullptr);
    ASSERT_FALSE(db->records.empty());
    DeviceInfo info(*db);
    for (const tethra_sim::Record& r : db->records) {
        SCOPED_TRACE("database " + std::to_string(deviceDbId) + " record " + std::to_string(r.id));
        Heap heap;
        DeviceRecord in(r);
        WorkingField* fields = ConvertLinkToWorking(options, dbId, &in.record, heap.get(), &info.info);
        ASSERT_NE(fields, nullptr);
        WorkingRecord working{kWorkingRecordSize, SelectFieldTable(dbId)->fieldCount, r.id, fields, 2};
        _tagDVXFIELD* out = ConvertToLinkRecord(options, dbId, &working, heap.get(), &info.info);
        ASSERT_NE(out, nullptr);
        for (size_t j = 0; j < db->fields.size(); ++j) {
            const std::string& name = db->fields[j].name;
            const LinkValue sent = ValueOf(out[j]);
            EXPECT_EQ(out[j].size, sizeof(_tagDVXFIELD));
            if (dbId == kAddressDbId && (name == "S_NAME" || name == "S_YOMI_NAME")) {
                // The demo's names follow the adapter's composition rule.
                EXPECT_EQ(sent.bytes, r.values[j].bytes) << name;
            } else if (dbId == kMailDbId && name == "S_SEND_DATE") {
                // Read back from the received date, sent to both.
                ExpectStoredBack(dbId, name, db->fields[j].type, r.values[db->FieldIndex("S_RECEIVED_DATE")], sent);
            } else if (Mapped(dbId, name)) {
                ExpectStoredBack(dbId, name, db->fields[j].type, r.values[j], sent);
            } else {
                EXPECT_TRUE(!sent.absent && sent.bytes.empty()) << name << " is sent empty";
            }
        }
    }
}

TEST(DeviceRecordConvert, Schedule) { CheckDatabase(kScheduleDbId, 1, ConversionOptions{0, 0}); }
TEST(DeviceRecordConvert, ToDo) { CheckDatabase(kToDoDbId, 6, ConversionOptions{0, 0}); }
TEST(DeviceRecordConvert, AddressBook) { CheckDatabase(kAddressDbId, 7, ConversionOptions{0, 0}); }
TEST(DeviceRecordConvert, Memo) { CheckDatabase(kMemoDbId, 8, ConversionOptions{0, 0}); }
TEST(DeviceRecordConvert, MailMain) { CheckDatabase(kMailDbId, 16, ConversionOptions{0, 0}); }
TEST(DeviceRecordConvert, MailCompanion) { CheckDatabase(kMailDbId, 15, ConversionOptions{0, 0}); }

}  // namespace
