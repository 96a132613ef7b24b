#include "field_record.h"

#include "fields/get_field.h"
#include "session/sync_session.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace field_testing {

FieldRecord::FieldRecord(uint32_t dbId, const std::vector<uint32_t>& missing, uint32_t recordId) : dbId_(dbId) {
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

FieldRecord::FieldRecord(const MadeUpTable& table) : dbId_(table.dbId) {
    uint32_t id = 0;
    for (uint32_t type : table.types) {
        FieldDescriptor descriptor{};
        descriptor.size = kFieldDescriptorSize;
        snprintf(descriptor.name, sizeof descriptor.name, "Field%u", id);
        descriptor.fieldId = id++;
        descriptor.fieldType = type;
        descriptors_.push_back(descriptor);
    }
    record_.recordId = 7;
    MakeCurrent();
}

void FieldRecord::MakeCurrent() {
    slots_.assign(descriptors_.size(), WorkingField{kWorkingFieldSize, 0, nullptr});
    record_.size = kWorkingRecordSize;
    record_.fieldCount = static_cast<uint32_t>(descriptors_.size());
    record_.fields = slots_.data();
    g_session.currentDbId = dbId_;
    g_session.currentFieldTable = FieldTable{sizeof(FieldTable), 0, record_.fieldCount, descriptors_.data(),
                                             kFieldTableTag};
    g_session.currentRecord = &record_;
}

FieldRecord::~FieldRecord() {
    if (g_session.currentRecord == &record_) g_session.currentRecord = nullptr;
}

WorkingField& FieldRecord::Slot(uint32_t fieldId) {
    for (size_t i = 0; i < descriptors_.size(); ++i)
        if (descriptors_[i].fieldId == fieldId) return slots_[i];
    ADD_FAILURE() << "the test record has no field " << fieldId;
    static WorkingField nowhere;
    return nowhere;
}

uint8_t* FieldRecord::Store(uint32_t fieldId, const void* bytes, uint32_t length) {
    // One spare zero byte, as a zero-filled heap block of that size may have.
    values_.emplace_back(length + 1, 0);
    memcpy(values_.back().data(), bytes, length);
    WorkingField& slot = Slot(fieldId);
    slot.length = length;
    slot.data = values_.back().data();
    return slot.data;
}

void FieldRecord::SetByte(uint32_t fieldId, uint8_t value) { Store(fieldId, &value, 1); }

void FieldRecord::SetNumber(uint32_t fieldId, int32_t value) {
    uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    Store(fieldId, bytes, 4);
}

void FieldRecord::SetShort(uint32_t fieldId, int16_t value) {
    uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
    Store(fieldId, bytes, 2);
}

void FieldRecord::SetText(uint32_t fieldId, const std::string& bytes) {
    Store(fieldId, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void FieldRecord::SetAbsent(uint32_t fieldId) {
    WorkingField& slot = Slot(fieldId);
    slot.length = kValueAbsent;
    slot.data = nullptr;
}

FieldRead ReadField(const char* fieldId) {
    constexpr size_t kTail = 64;
    std::vector<char> buffer(kFieldTextSize + kTail, kMarker);
    FieldRead read;
    read.result = GetFieldText(fieldId, buffer.data());
    size_t end = strnlen(buffer.data(), buffer.size());
    read.text.assign(buffer.data(), end);
    read.markerIntact = end < buffer.size() &&
                        std::all_of(buffer.begin() + end + 1, buffer.end(), [](char c) { return c == kMarker; });
    return read;
}

}  // namespace field_testing
