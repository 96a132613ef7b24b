// DIZ_API_PutField: one host field into the write record.
#include "fields/field_write.h"
#include "fields/put_field_rules.h"
#include "fields/write_value.h"

#include "schema/field_table.h"
#include "session/call_frame.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "session/trace_text.h"
#include "support/trace_log.h"

#include <string.h>

namespace {

using namespace field_write;

// The identifier's first two characters decide side effects in every
// database: the host sends the parts of a start or alarm under these
// numbers, and the later steps (SetAlarm) read what they leave behind.
void ApplyPrefixSideEffects(const char* fieldId, const char* value) {
    WriteState& state = g_session.writeState;
    if (strncmp(fieldId, "2.", 2) == 0) {
        state.pendingAlarmTime = 0;
        state.pendingStartTime = 0;
    } else if (strncmp(fieldId, "13", 2) == 0) {
        state.pendingAlarmDate = ReadDecimalText(value);
    } else if (strncmp(fieldId, "3.", 2) == 0) {
        state.pendingStartDate = ReadDecimalText(value);
    }
}

// Bytes the value takes in its slot, or a traced -8 for a type no table
// uses or a malformed time-stamp identifier.
int32_t ValueSize(const FieldTarget& target, uint32_t* size) {
    const uint32_t valueLength = static_cast<uint32_t>(strlen(target.value));
    switch (target.type) {
    case kFieldTypeFlag:
    case kFieldTypeSmallNumber: *size = 1; return kResultOk;
    case 4:
    case 5:
    case 7: *size = 8; return kResultOk;
    case kFieldTypeNumber: *size = 4; return kResultOk;
    case kFieldTypeShortNumber: *size = 2; return kResultOk;
    case kFieldTypeText: break;
    default:
        LogTrace("Data Type not used in any known Quenda mapping: %d\n", static_cast<int32_t>(target.type));
        return kResultInvalidField;
    }
    *size = valueLength;
    if (target.Is(kMemoDbId, MemoField::TimeStamp)) {
        const char* point = strchr(target.identifier, '.');
        if (point == nullptr) {
            LogTrace("Invalid field format (1) in memo/timestamp field\n");
            return kResultInvalidField;
        }
        if (point[1] == 'T') *size = kMemoTimeStampLength;
        if (point[1] == 'D') *size = 0;
    } else if (target.Is(kMailDbId, MailField::SendDate)) {
        const char letter = MailDatePartLetter(target.identifier);
        if (letter != 'T' && letter != 'D') {
            LogTrace("Invalid field format (1) in email/timestamp field\n");
            return kResultInvalidField;
        }
        *size = letter == 'T' ? kMailSendDateLength : 0;
    } else if (target.Is(kMemoDbId, MemoField::NoteText)) {
        *size = MemoTitleLength() + valueLength + 2;
    }
    return kResultOk;
}

// An empty value for a slot that holds nothing yet.  Returns true with
// *result set when the value is settled here; false when the ordinary
// allocation and conversion follow.
bool StoreEmptyValue(const FieldTarget& target, uint32_t size, int32_t* result) {
    WriteState& state = g_session.writeState;
    *result = kResultOk;
    if (size == 0 && target.type == kFieldTypeText) {
        target.slot->length = 0;
        return true;
    }
    uint32_t fill = 0;
    if (target.Is(kToDoDbId, ToDoField::DueDate)) {
        fill = 0xFFFFFFFFu;  // no due date
    } else if (target.Is(kScheduleDbId, ScheduleField::FromTime)) {
        state.allDay = 1;  // an empty start time is how the host says "all day"
    } else if (target.Is(kScheduleDbId, ScheduleField::ToTime)) {
        if (state.allDay == 0) fill = 0xFFFFu;
    } else if (target.Is(kScheduleDbId, ScheduleField::AllDayFlag) ||
               target.Is(kScheduleDbId, ScheduleField::EventFlag)) {
        if (state.allDay == 0) return false;
        size = 1;
        fill = 1;
    } else {
        return false;
    }
    uint8_t* bytes = NewSlotValue(target.slot, size);
    if (bytes == nullptr) {
        *result = ReportValueMemoryFailure(size);
        return true;
    }
    StoreLittleEndian(bytes, fill, size < 4 ? size : 4);
    return true;
}

}  // namespace

int32_t PutFieldText(const char* fieldId, const char* value) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_PutField('%s', '%s')\n", TraceText(fieldId), TraceText(value));
    if (fieldId == nullptr) fieldId = "";
    if (value == nullptr) value = "";

    const int32_t hostId = ReadDecimalText(fieldId);
    if (hostId == 0) {
        LogTrace("Field ID ('%s') is invalid in this context (converts to 0)\n", fieldId);
        return kResultInvalidField;
    }
    ApplyPrefixSideEffects(fieldId, value);

    const int32_t deviceId = hostId - 1;
    const FieldDescriptor* descriptor = nullptr;
    WorkingField* slot = FindWorkingField(&g_session.writeRecord, static_cast<uint32_t>(deviceId), &descriptor);
    if (slot == nullptr || descriptor == nullptr) {
        LogTrace("Quenda field id %d not found (qdb:%d)\n", deviceId, static_cast<int32_t>(g_session.currentDbId));
        return kResultOk;
    }
    const FieldTarget target{g_session.currentDbId, descriptor->fieldId, descriptor->fieldType, slot, fieldId,
                             value};

    uint32_t size = 0;
    const int32_t sized = ValueSize(target, &size);
    if (sized != kResultOk) return sized;

    int32_t result = kResultOk;
    if (slot->data == nullptr && value[0] == '\0' && StoreEmptyValue(target, size, &result)) return result;

    // A value written earlier for the same field is replaced; its bytes
    // stay in writeHeap until the heap goes.
    if (size > 0 && NewSlotValue(slot, size) == nullptr) {
        slot->data = nullptr;
        return ReportValueMemoryFailure(size);
    }
    return ConvertFieldValue(target);
}
