/*
 * The working record: one record in the device schema.  It is the record
 * cache entry, the host's current record and the write record.  Its field
 * slots follow the descriptors of the database's FieldTable, slot i
 * belonging to descriptor i.
 *
 * Size fields hold sizeof of the structure on the target; on the 32-bit
 * targets the device link library was made for these are the documented
 * 12 (field slot), 20 (working record) and 16 (link record), and a 64-bit
 * build writes its own, larger, sizes rather than a size that does not
 * describe the structure it heads.
 *
 * Values live in a heap that is destroyed as a whole; nothing here is freed
 * on its own.
 */
#ifndef MORVANE_SCHEMA_WORKING_RECORD_H
#define MORVANE_SCHEMA_WORKING_RECORD_H

#include "link/tethra.h"
#include "schema/field_table.h"
#include <stddef.h>
#include <stdint.h>

// WorkingField::length of a value that the device link library reported
// absent (as opposed to 0, an empty value).
constexpr uint32_t kValueAbsent = 0xFFFFFFFFu;

/*
 * WorkingField, 12 bytes on 32-bit targets, laid out like a link field
 * slot (_tagDVXFIELD):
 *   offset  width  meaning
 *        0      4  size (kWorkingFieldSize)
 *        4      4  length: value bytes; 0 empty, kValueAbsent absent
 *        8      4  data: the value (encoding by device type code), or null
 */
struct WorkingField {
    uint32_t size;
    uint32_t length;
    uint8_t* data;
};
static_assert(offsetof(WorkingField, length) == 4, "WorkingField length at 4");
static_assert(sizeof(WorkingField) == sizeof(_tagDVXFIELD) &&
                  offsetof(WorkingField, data) == offsetof(_tagDVXFIELD, data),
              "a working field slot has the shape of a link field slot");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(WorkingField) == 12, "WorkingField is 12 bytes on 32-bit targets");
static_assert(offsetof(WorkingField, data) == 8, "WorkingField data at 8");
#endif

/*
 * WorkingRecord, 20 bytes on 32-bit targets:
 *   offset  width  meaning
 *        0      4  size (kWorkingRecordSize)
 *        4      4  fieldCount: of the FieldTable when the record was made
 *        8      4  recordId as the host sees it (E-mail: bit 31 marks
 *                  the companion database)
 *       12      4  fields: fieldCount slots, or null while not loaded
 *       16      4  syncAttr: the device sync attribute (1, 2, 4 or 8)
 */
struct WorkingRecord {
    uint32_t size;
    uint32_t fieldCount;
    uint32_t recordId;
    WorkingField* fields;
    uint32_t syncAttr;
};
static_assert(offsetof(WorkingRecord, recordId) == 8, "WorkingRecord recordId at 8");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(WorkingRecord) == 20, "WorkingRecord is 20 bytes on 32-bit targets");
static_assert(offsetof(WorkingRecord, fields) == 12, "WorkingRecord fields at 12");
static_assert(offsetof(WorkingRecord, syncAttr) == 16, "WorkingRecord syncAttr at 16");
static_assert(sizeof(_tagDVXDBREC) == 16, "link record is 16 bytes on 32-bit targets");
#endif

constexpr uint32_t kWorkingFieldSize = sizeof(WorkingField);
constexpr uint32_t kWorkingRecordSize = sizeof(WorkingRecord);
constexpr uint32_t kLinkFieldSize = sizeof(_tagDVXFIELD);
constexpr uint32_t kLinkRecordSize = sizeof(_tagDVXDBREC);

// The whole search by id that FindWorkingFieldIn below leaves to a call.
WorkingField* SearchWorkingFieldIn(const FieldTable& table, const WorkingRecord* record, uint32_t fieldId,
                                   const FieldDescriptor** descriptorOut);

// The slot of field fieldId in record, searched by id among the descriptors
// of table (not by indexing, so a table whose ids are not its positions
// still works).  Null when record or its fields are null or no descriptor
// has that id.  On success *descriptorOut (when descriptorOut is not null)
// receives the field's descriptor; otherwise it is set to null.
//
// Every field read looks up one field or more, so the usual answer is
// given here without a call: the descriptor at the id's own position has
// that id, as in all of the adapter's tables, and the record has a slot
// there.  Anything else goes to the search.
inline WorkingField* FindWorkingFieldIn(const FieldTable& table, const WorkingRecord* record, uint32_t fieldId,
                                        const FieldDescriptor** descriptorOut) {
    if (record != nullptr && record->fields != nullptr && table.descriptors != nullptr &&
        fieldId < table.fieldCount && fieldId < record->fieldCount && table.descriptors[fieldId].fieldId == fieldId) {
        if (descriptorOut != nullptr) *descriptorOut = &table.descriptors[fieldId];
        return &record->fields[fieldId];
    }
    return SearchWorkingFieldIn(table, record, fieldId, descriptorOut);
}

#endif
