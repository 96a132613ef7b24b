// A working record built by hand for the field readers: it becomes the
// session's current record, with the open database's table (or a table
// made for the test) as currentFieldTable.  Values are set the way the
// record converter stores them.
#ifndef MORVANE_TESTS_UNIT_FIELD_RECORD_H
#define MORVANE_TESTS_UNIT_FIELD_RECORD_H

#include "fields/field_text.h"
#include "fields/get_field.h"
#include "schema/field_table.h"
#include "schema/working_record.h"
#include "session/sync_session.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace field_testing {

// A made-up database whose field i has the type code types[i].
struct MadeUpTable {
    uint32_t dbId;
    std::vector<uint32_t> types;
};

class FieldRecord {
public:
    // A record of database dbId with every slot empty (length 0, no data),
    // made current.  The fields named in `missing` are left out of the
    // table, so that the record has no such field.
    explicit FieldRecord(uint32_t dbId, const std::vector<uint32_t>& missing = {}, uint32_t recordId = 7)
        : dbId_(dbId) {
        const FieldTable* table = SelectFieldTable(dbId);
        for (uint32_t i = 0; table != nullptr && i < table->fieldCount; ++i) {
            const FieldDescriptor& descriptor = table->descriptors[i];
            if (std::find(missing.begin(), missing.end(), descriptor.fieldId) == missing.end())
                descriptors_.push_back(descriptor);
        }
        record_.recordId = recordId;
        record_.syncAttr = 2;
        MakeCurrent();
    }
    // A record of a made-up database, made current.
    explicit FieldRecord(const MadeUpTable& table) : dbId_(table.dbId) {
        for (uint32_t type : table.types) {
            FieldDescriptor descriptor{kFieldDescriptorSize, "", "", static_cast<uint32_t>(descriptors_.size()), type};
            snprintf(descriptor.name, sizeof descriptor.name, "Field%u", descriptor.fieldId);
            descriptors_.push_back(descriptor);
        }
        record_.recordId = 7;
        MakeCurrent();
    }
    ~FieldRecord() {
        if (g_session.currentRecord == &record_) g_session.currentRecord = nullptr;
    }
    FieldRecord(const FieldRecord&) = delete;
    FieldRecord& operator=(const FieldRecord&) = delete;

    void SetByte(uint32_t fieldId, uint8_t value) { Store(fieldId, &value, 1); }
    void SetNumber(uint32_t fieldId, int32_t value) { Store(fieldId, &value, 4); }  // little-endian as on the device
    void SetShort(uint32_t fieldId, int16_t value) { Store(fieldId, &value, 2); }
    void SetText(uint32_t fieldId, const std::string& bytes) {
        Store(fieldId, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    // Length kValueAbsent without data, as the converter leaves a value
    // the link reported absent.
    void SetAbsent(uint32_t fieldId) { Slot(fieldId) = WorkingField{kWorkingFieldSize, kValueAbsent, nullptr}; }
    WorkingField& Slot(uint32_t fieldId) {
        for (size_t i = 0; i < descriptors_.size(); ++i)
            if (descriptors_[i].fieldId == fieldId) return slots_[i];
        ADD_FAILURE() << "the test record has no field " << fieldId;
        static WorkingField nowhere;
        return nowhere;
    }

private:
    void MakeCurrent() {
        slots_.assign(descriptors_.size(), WorkingField{kWorkingFieldSize, 0, nullptr});
        record_.size = kWorkingRecordSize;
        record_.fieldCount = static_cast<uint32_t>(descriptors_.size());
        record_.fields = slots_.data();
        g_session.currentDbId = dbId_;
        g_session.currentFieldTable =
            FieldTable{sizeof(FieldTable), 0, record_.fieldCount, descriptors_.data(), kFieldTableTag};
        g_session.currentRecord = &record_;
    }
    void Store(uint32_t fieldId, const void* bytes, uint32_t length) {
        // One spare zero byte, as a zero-filled heap block of that size may have.
        values_.emplace_back(length + 1, 0);
        memcpy(values_.back().data(), bytes, length);
        Slot(fieldId) = WorkingField{kWorkingFieldSize, length, values_.back().data()};
    }

    uint32_t dbId_ = 0;
    std::vector<FieldDescriptor> descriptors_;
    std::vector<WorkingField> slots_;
    std::deque<std::vector<uint8_t>> values_;
    WorkingRecord record_{};
};

// The result of one DIZ_API_GetField call made through GetFieldText with a
// buffer of kFieldTextSize bytes (plus a tail) prefilled with a marker:
// markerIntact when every byte after the text's NUL still holds it.
struct FieldRead {
    int32_t result;
    std::string text;
    bool markerIntact;
};

inline FieldRead ReadField(const char* fieldId) {
    std::vector<char> buffer(kFieldTextSize + 64, 'Z');
    FieldRead read;
    read.result = GetFieldText(fieldId, buffer.data());
    const size_t end = strnlen(buffer.data(), buffer.size());
    read.text.assign(buffer.data(), end);
    read.markerIntact =
        end < buffer.size() && std::all_of(buffer.begin() + end + 1, buffer.end(), [](char c) { return c == 'Z'; });
    return read;
}

}  // namespace field_testing

#endif
