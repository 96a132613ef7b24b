// Field lookup in a working record.
#include "schema/working_record.h"

WorkingField* SearchWorkingFieldIn(const FieldTable& table, const WorkingRecord* record, uint32_t fieldId,
                                   const FieldDescriptor** descriptorOut) {
    if (descriptorOut != nullptr) *descriptorOut = nullptr;
    if (record == nullptr || record->fields == nullptr || table.descriptors == nullptr) return nullptr;
    // Ids are unique within a table, and in the adapter's own tables every
    // id is its position: the descriptor there, when it has the id, is the
    // one the search below would find.
    if (fieldId < table.fieldCount && table.descriptors[fieldId].fieldId == fieldId) {
        if (fieldId >= record->fieldCount) return nullptr;
        if (descriptorOut != nullptr) *descriptorOut = &table.descriptors[fieldId];
        return &record->fields[fieldId];
    }
    for (uint32_t i = 0; i < table.fieldCount; ++i) {
        if (table.descriptors[i].fieldId != fieldId) continue;
        // A record made for a shorter table has no slot at this position.
        if (i >= record->fieldCount) return nullptr;
        if (descriptorOut != nullptr) *descriptorOut = &table.descriptors[i];
        return &record->fields[i];
    }
    return nullptr;
}
