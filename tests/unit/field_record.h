// A working record built by hand for the field readers: it becomes the
// session's current record, with the open database's table (or a table
// made for the test) as currentFieldTable.  Values are set the way the
// record converter stores them.
#ifndef MORVANE_TESTS_UNIT_FIELD_RECORD_H
#define MORVANE_TESTS_UNIT_FIELD_RECORD_H

#include "fields/field_text.h"
#include "schema/field_table.h"
#include "schema/working_record.h"

#include <stdint.h>

#include <deque>
#include <string>
#include <vector>

namespace field_testing {

// Fills the bytes past the text a reader wrote, to see they stay untouched.
constexpr char kMarker = 'Z';

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
    explicit FieldRecord(uint32_t dbId, const std::vector<uint32_t>& missing = {}, uint32_t recordId = 7);
    // A record of a made-up database, made current.
    explicit FieldRecord(const MadeUpTable& table);

    ~FieldRecord();
    FieldRecord(const FieldRecord&) = delete;
    FieldRecord& operator=(const FieldRecord&) = delete;

    void SetByte(uint32_t fieldId, uint8_t value);
    void SetNumber(uint32_t fieldId, int32_t value);
    void SetShort(uint32_t fieldId, int16_t value);
    void SetText(uint32_t fieldId, const std::string& bytes);
    // Length kValueAbsent without data, as the converter leaves a value
    // the link reported absent.
    void SetAbsent(uint32_t fieldId);
    WorkingField& Slot(uint32_t fieldId);
    WorkingRecord& record() { return record_; }

private:
    void MakeCurrent();
    uint8_t* Store(uint32_t fieldId, const void* bytes, uint32_t length);

    uint32_t dbId_ = 0;
    std::vector<FieldDescriptor> descriptors_;
    std::vector<WorkingField> slots_;
    std::deque<std::vector<uint8_t>> values_;
    WorkingRecord record_{};
};

// The result of one DIZ_API_GetField call made through GetFieldText.
struct FieldRead {
    int32_t result;
    std::string text;
    bool markerIntact;  // every byte after the text's NUL is still kMarker
};

// Calls GetFieldText with a buffer of kFieldTextSize bytes (plus a tail)
// prefilled with kMarker.
FieldRead ReadField(const char* fieldId);

}  // namespace field_testing

#endif
