// Link field infos, link records and working records built for the record
// conversion tests the way the device link library hands them over: field
// infos of 104-byte entries, records whose slots follow them, values in a
// Windows heap.
//
// Link type codes: 1 (byte), 5 (date), 6 (time), 7 (date and time) are the
// link library's own; text is copied whatever its code.
#ifndef MORVANE_TESTS_UNIT_LINK_RECORDS_H
#define MORVANE_TESTS_UNIT_LINK_RECORDS_H

#include "device/simulator.h"
#include "link/tethra.h"
#include "platform/win32api.h"
#include "schema/record_convert.h"
#include "schema/working_record.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

namespace test_records {

constexpr uint32_t kByte = 1, kDate = 5, kTime = 6, kDateTime = 7, kText = 16;

constexpr ConversionOptions kNewModel{0, 0};
constexpr ConversionOptions kOldModel{1, 0};  // no ToDo priority remap
constexpr ConversionOptions kFamilyFirst{0, 1};

// OLE dates: days since 30 December 1899, the fraction the time of day.
constexpr double k31Dec2003 = 37986.0;
constexpr double k15Apr2003 = 37726.0;
constexpr double k1745 = (17 * 60 + 45) / 1440.0;
constexpr double k0930 = (9 * 60 + 30) / 1440.0;

// A heap destroyed with the test.
class TestHeap {
public:
    TestHeap() : heap_(HeapCreate(0, 1, 0)) {}
    ~TestHeap() {
        if (heap_ != nullptr) HeapDestroy(heap_);
    }
    TestHeap(const TestHeap&) = delete;
    TestHeap& operator=(const TestHeap&) = delete;
    HANDLE get() const { return heap_; }

private:
    HANDLE heap_;
};

// A database's link field list.
class LinkInfo {
public:
    explicit LinkInfo(const std::vector<std::pair<std::string, uint32_t>>& fields) : fields_(fields.size()) {
        for (size_t j = 0; j < fields.size(); ++j) {
            fields_[j].size = sizeof(_tagS_DVXFIELDINFO);
            strncpy(fields_[j].name, fields[j].first.c_str(), sizeof(fields_[j].name) - 1);
            fields_[j].type = fields[j].second;
        }
        info_ = _tagS_DVXDBINFO{sizeof(info_), 0, static_cast<uint32_t>(fields_.size()), fields_.data()};
    }
    const _tagS_DVXDBINFO* get() const { return &info_; }
    uint32_t count() const { return info_.fieldCount; }
    int Position(const std::string& name) const {
        for (size_t j = 0; j < fields_.size(); ++j)
            if (name == fields_[j].name) return static_cast<int>(j);
        return -1;
    }

private:
    std::vector<_tagS_DVXFIELDINFO> fields_;
    _tagS_DVXDBINFO info_{};
};

// Bytes of a value; L: the low width bytes of a number, little-endian, as
// a string to compare with TextOf.
inline std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }
inline std::vector<uint8_t> Bytes(double value) {
    std::vector<uint8_t> b(8);
    memcpy(b.data(), &value, 8);
    return b;
}
inline std::string L(uint32_t value, size_t width) {
    std::string b(width, '\0');
    for (size_t k = 0; k < width; ++k) b[k] = static_cast<char>(value >> (8 * k));
    return b;
}

// A record of slots of either kind (WorkingField in a WorkingRecord, or
// _tagDVXFIELD in a _tagDVXDBREC) with owned values, set by position.
template <typename Slot, typename Record>
class Slots {
public:
    Slots(uint32_t count, uint32_t recordSize, uint32_t recordId) : slots_(count), values_(count) {
        for (Slot& s : slots_) s.size = sizeof(Slot);
        record_.size = recordSize;
        record_.fieldCount = count;
        record_.recordId = recordId;
        record_.fields = slots_.data();
    }
    // An absent value has the length 0xFFFFFFFF and no data.
    void Put(size_t k, const std::vector<uint8_t>& bytes, bool absent = false) {
        values_[k] = bytes;
        slots_[k].length = absent ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes.size());
        slots_[k].data = absent || values_[k].empty() ? nullptr : values_[k].data();
    }
    const Record* get() const { return &record_; }
    Record* get() { return &record_; }

private:
    std::vector<Slot> slots_;
    std::vector<std::vector<uint8_t>> values_;
    Record record_{};
};

// A link record whose slots follow info; values are set by link field name.
class LinkRecord : public Slots<_tagDVXFIELD, _tagDVXDBREC> {
public:
    explicit LinkRecord(const LinkInfo& info, uint32_t recordId = 1)
        : Slots(info.count(), sizeof(_tagDVXDBREC), recordId), info_(info) {}
    LinkRecord& Set(const std::string& name, const std::vector<uint8_t>& bytes, bool absent = false) {
        Put(Position(name), bytes, absent);
        return *this;
    }

private:
    size_t Position(const std::string& name) const {
        int j = info_.Position(name);
        EXPECT_GE(j, 0) << "the device lists no " << name;
        return static_cast<size_t>(j < 0 ? 0 : j);
    }
    const LinkInfo& info_;
};

// A working record of fieldCount slots; values are set by device field id.
class WorkRecord : public Slots<WorkingField, WorkingRecord> {
public:
    explicit WorkRecord(uint32_t fieldCount) : Slots(fieldCount, kWorkingRecordSize, 0) {}
    WorkRecord& Set(uint32_t id, const std::vector<uint8_t>& bytes, bool absent = false) {
        Put(id, bytes, absent);
        return *this;
    }
    WorkRecord& Text(uint32_t id, const std::string& text) { return Set(id, Bytes(text)); }
};

// Readers of a slot's value.
template <typename Slot>
std::string TextOf(const Slot& s) {
    if (s.length == 0xFFFFFFFFu || s.data == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(s.data), s.length);
}
template <typename Slot>
double DateOf(const Slot& s) {
    double v = -12345.0;
    if (s.length == 8 && s.data != nullptr) memcpy(&v, s.data, 8);
    return v;
}

// A slot holds exactly bytes (none: length 0 and no data), or no value.
template <typename Slot>
void ExpectValue(const Slot& s, const std::string& bytes, bool absent) {
    EXPECT_EQ(s.length, absent ? 0xFFFFFFFFu : bytes.size());
    if (bytes.empty()) {
        EXPECT_EQ(s.data, nullptr);
    }
    EXPECT_EQ(TextOf(s), bytes);
}

// The link fields the simulated device lists for each database, with their
// link types, given in reverse so that every lookup has to go by name.
inline std::vector<std::pair<std::string, uint32_t>> DeviceFields(uint32_t dbId) {
    std::vector<std::pair<std::string, uint32_t>> f;
    const tethra_sim::DeviceImage image = tethra_sim::DemoImage();
    const tethra_sim::Database* db = image.Find(dbId);
    for (size_t j = db == nullptr ? 0 : db->fields.size(); j-- > 0;)
        f.emplace_back(db->fields[j].name, db->fields[j].type);
    return f;
}

}  // namespace test_records

#endif
