// Host text to native field values for DIZ_API_PutField.
#include "fields/put_field_rules.h"
#include "fields/write_value.h"

#include "schema/field_table.h"
#include "session/call_frame.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

#include <stdio.h>
#include <string.h>

namespace {

using namespace field_write;

// Device priorities run one above the host's, up to 5.
constexpr int32_t kHighestDevicePriority = 5;
// The E-mail send date is composed in a buffer of this size.
constexpr size_t kMailComposeSize = 16;

bool IsText(const char* value, const char* wanted) { return strcmp(value, wanted) == 0; }

// The letter after the first '.', or 0 when there is no '.'.
char PartLetter(const char* identifier) {
    const char* point = strchr(identifier, '.');
    return point == nullptr ? 0 : point[1];
}

bool IsSecretField(const FieldTarget& t) {
    return t.Is(kScheduleDbId, ScheduleField::Secret) || t.Is(kToDoDbId, ToDoField::Secret) ||
           t.Is(kAddressDbId, AddressField::Secret) || t.Is(kMemoDbId, MemoField::Secret);
}

void ConvertFlag(const FieldTarget& t) {
    WriteState& state = g_session.writeState;
    uint8_t* byte = t.slot->data;
    if (t.Is(kScheduleDbId, ScheduleField::AllDayFlag)) {
        // Whether the record is all day was said by its empty start time.
        *byte = state.allDay != 0 ? 1 : 0;
    } else if (t.Is(kScheduleDbId, ScheduleField::SilentLoud)) {
        *byte = 1;
    } else {
        const bool set = IsText(t.value, "1");
        *byte = set ? 1 : 0;
        if (set && t.Is(kScheduleDbId, ScheduleField::RepeatFlag)) g_session.recordRepeats = 1;
        if (set && t.Is(kScheduleDbId, ScheduleField::AlarmFlag)) state.alarmFlagSet = 1;
    }
}

// The Schedule alarm arrives as a date part and a time part that are only
// kept here; DIZ_API_SetAlarm turns them into the lead when the record is
// stored, so the field's own bytes stay 0.
int32_t KeepAlarmPart(const FieldTarget& t) {
    const char* point = strchr(t.identifier, '.');
    if (point == nullptr) {
        LogTrace("Invalid field format (1) in schedule/alarm field\n");
        return kResultInvalidField;
    }
    if (point[1] == 'T') {
        g_session.writeState.pendingAlarmTime = static_cast<int16_t>(ReadDecimalText(t.value));
    } else if (point[1] == 'D') {
        g_session.writeState.pendingAlarmDate = ReadDecimalText(t.value);
    } else {
        LogTrace("Invalid field format (2) in scheule/alarm field\n");
        return kResultInvalidField;
    }
    return kResultOk;
}

int32_t ConvertSmallNumber(const FieldTarget& t) {
    if (t.Is(kScheduleDbId, ScheduleField::AlarmTime)) return KeepAlarmPart(t);
    if (t.Is(kToDoDbId, ToDoField::Priority) || t.Is(kMailDbId, MailField::Priority)) {
        int32_t priority = ReadDecimalText(t.value);
        LogTrace("Priority field passed in:  %d\n", priority);
        ++priority;
        LogTrace("Priority field sent to Quenda, raw:  %d\n", priority);
        if (priority > kHighestDevicePriority) priority = kHighestDevicePriority;
        LogTrace("Priority field sent to Quenda, actual:  %d\n", priority);
        *t.slot->data = static_cast<uint8_t>(priority);
    } else if (t.Is(kMailDbId, MailField::IsRead)) {
        *t.slot->data = IsText(t.value, "0") ? 0 : 1;
    }
    // Every other small number (alarm unit, repeat period and count, the
    // E-mail type and state bytes) is filled by the repeat, alarm and
    // folder operations; the byte stays 0 here.
    return kResultOk;
}

int32_t ConvertShortNumber(const FieldTarget& t) {
    if (t.Is(kScheduleDbId, ScheduleField::AlarmTime)) return KeepAlarmPart(t);
    const int32_t number = ReadDecimalText(t.value);
    if (t.Is(kScheduleDbId, ScheduleField::FromTime)) {
        g_session.writeState.pendingStartTime = static_cast<int16_t>(number);
    }
    StoreLittleEndian(t.slot->data, static_cast<uint32_t>(number), 2);
    return kResultOk;
}

// Memo TimeStamp: the date part waits in memoDateStash until the time part
// completes YYYYMMDDhhmm.
void ConvertMemoTimeStamp(const FieldTarget& t) {
    char* stash = g_session.writeState.memoDateStash;
    const char letter = PartLetter(t.identifier);
    if (letter == 'D') {
        strncpy(stash, t.value, sizeof g_session.writeState.memoDateStash - 1);
        stash[sizeof g_session.writeState.memoDateStash - 1] = '\0';
    } else if (letter == 'T') {
        char text[kMemoTimeStampLength + 1] = {};
        memcpy(text, stash, strnlen(stash, 8));
        memcpy(text + 8, t.value, strnlen(t.value, 4));
        const size_t used = strlen(text);
        if (used == 0) {
            t.slot->length = 0;
        } else {
            memcpy(t.slot->data, text, used);  // the rest stays zero
        }
    }
}

// E-mail SendDate: the date part waits in mailDateStash; the time part
// completes YYYYMMDDhhmm and the seconds are 00.
void ConvertMailSendDate(const FieldTarget& t) {
    char* stash = g_session.writeState.mailDateStash;
    const char letter = MailDatePartLetter(t.identifier);
    if (letter == 'D') {
        strncpy(stash, t.value, sizeof g_session.writeState.mailDateStash - 1);
        stash[sizeof g_session.writeState.mailDateStash - 1] = '\0';
    } else if (letter == 'T') {
        char text[kMailComposeSize] = {};
        snprintf(text, sizeof text, "%s%s00", stash, t.value);
        memcpy(t.slot->data, text, strnlen(text, kMailSendDateLength));
    }
}

void ConvertText(const FieldTarget& t) {
    if (t.Is(kMemoDbId, MemoField::TimeStamp)) {
        ConvertMemoTimeStamp(t);
    } else if (t.Is(kMailDbId, MailField::SendDate)) {
        ConvertMailSendDate(t);
    } else if (t.Is(kMemoDbId, MemoField::NoteText)) {
        // The device keeps the memo's title as the first line of its text.
        const uint32_t titleLength = MemoTitleLength();
        const WorkingField* title = FindWorkingField(&g_session.writeRecord, MemoField::Title, nullptr);
        uint8_t* out = t.slot->data;
        if (titleLength > 0) memcpy(out, title->data, titleLength);
        out[titleLength] = '\r';
        out[titleLength + 1] = '\n';
        memcpy(out + titleLength + 2, t.value, strlen(t.value));
    } else if (t.value[0] != '\0') {
        memcpy(t.slot->data, t.value, strlen(t.value));
    }
}

}  // namespace

char MailDatePartLetter(const char* identifier) {
    return strnlen(identifier, 4) < 4 ? 0 : identifier[3];
}

uint32_t MemoTitleLength() {
    const WorkingField* title = FindWorkingField(&g_session.writeRecord, MemoField::Title, nullptr);
    return HoldsWrittenValue(title) ? title->length : 0;
}

int32_t ConvertFieldValue(const FieldTarget& t) {
    switch (t.type) {
    case kFieldTypeFlag: ConvertFlag(t); return kResultOk;
    case kFieldTypeSmallNumber: return ConvertSmallNumber(t);
    case kFieldTypeNumber: {
        const int32_t number = IsSecretField(t) ? (IsText(t.value, "1") ? 1 : 0) : ReadDecimalText(t.value);
        StoreLittleEndian(t.slot->data, static_cast<uint32_t>(number), 4);
        return kResultOk;
    }
    case kFieldTypeShortNumber: return ConvertShortNumber(t);
    case kFieldTypeText: ConvertText(t); return kResultOk;
    default: return kResultOk;  // types 4, 5 and 7 keep their zero bytes
    }
}
