#include "fields/get_field.h"

#include "fields/field_read.h"
#include "fields/field_value.h"
#include "session/call_frame.h"
#include "session/error_helpers.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "session/trace_text.h"
#include "support/decimal_text.h"
#include "support/trace_log.h"

#include <stdlib.h>
#include <string.h>

namespace {

ReadOutcome WriteNumber(char* out, int32_t value) {
    FormatDecimal(value, 0, out);
    return ReadOutcome::kText;
}

// One of the short words the readers answer with ("Yes", "0", ...).
ReadOutcome WriteText(char* out, const char* text) {
    memcpy(out, text, strlen(text) + 1);
    return ReadOutcome::kText;
}

// "1" for a nonzero first byte, "0" for zero or no value.
ReadOutcome ReadFlag(const WorkingField* slot, char* out) { return WriteText(out, FirstByte(slot) != 0 ? "1" : "0"); }

// The general rule for numbers: a number without value ends the read at
// once, without a "Returning" line.
ReadOutcome ReadNumber(const WorkingField* slot, char* out) {
    if (!HoldsData(slot)) return ReadOutcome::kQuiet;
    return WriteNumber(out, NumberValue(slot));
}

// Dates where 0 means "no date".
ReadOutcome ReadOptionalDate(const WorkingField* slot, char* out) {
    if (!HoldsData(slot)) return ReadOutcome::kQuiet;
    int32_t value = NumberValue(slot);
    return value == 0 ? ReadOutcome::kText : WriteNumber(out, value);
}

ReadOutcome ReadShortNumber(const WorkingField* slot, char* out) {
    // A time without value gives empty text rather than a made-up "0000".
    if (!HoldsData(slot)) return ReadOutcome::kText;
    FormatDecimal(ShortNumberValue(slot), 4, out);
    return ReadOutcome::kText;
}

// The host counts priorities one lower than the device, from 0.
ReadOutcome ReadPriority(const WorkingField* slot, char* out) {
    int32_t raw = HoldsData(slot) ? FirstByte(slot) : 2;
    LogTrace("Priority field raw:  %d\n", raw);
    int32_t hostValue = raw != 0 ? raw - 1 : 0;
    LogTrace("Priority field returned:  %d\n", hostValue);
    return WriteNumber(out, hostValue);
}

ReadOutcome ReadCategory(const WorkingField* slot, char* out) {
    if (HoldsData(slot)) CopyCategoryText(slot->data, TextLength(slot), out);
    return ReadOutcome::kText;
}

ReadOutcome ReadByType(const FieldRequest& request) {
    const WorkingField* slot = request.slot;
    switch (request.descriptor->fieldType) {
    case kFieldTypeFlag:
        return ReadFlag(slot, request.out);
    case kFieldTypeSmallNumber:
        return WriteNumber(request.out, HoldsData(slot) ? FirstByte(slot) : 2);
    case kFieldTypeNumber:
        return ReadNumber(slot, request.out);
    case kFieldTypeShortNumber:
        return ReadShortNumber(slot, request.out);
    case kFieldTypeText:
        if (HoldsData(slot)) CopyTextWithCrLf(slot->data, TextLength(slot), request.out);
        return ReadOutcome::kText;
    case 3:
    case 4:
    case 5:
    case 7:
        // Codes of the device's numbering that no table uses.
        return ReadOutcome::kText;
    default:
        LogTrace("Data Type not used in any known Quenda mapping: %d\n",
                 static_cast<int>(request.descriptor->fieldType));
        return ReadOutcome::kInvalid;
    }
}

bool ReadScheduleField(uint32_t fieldId, const FieldRequest& request, ReadOutcome* outcome) {
    const WorkingField* slot = request.slot;
    switch (fieldId) {
    case ScheduleField::RepeatFlag:
        if (FirstByte(slot) != 0) g_session.recordRepeats = 1;
        *outcome = WriteText(request.out, FirstByte(slot) != 0 ? "Yes" : "No");
        return true;
    case ScheduleField::FromTime:
    case ScheduleField::ToTime:
        *outcome = IsAllDayEvent() ? ReadOutcome::kText : ReadShortNumber(slot, request.out);
        return true;
    case ScheduleField::AlarmTime:
        *outcome = ReadAlarmTime(request);
        return true;
    case ScheduleField::AlarmUnit:
        *outcome = ReadAllDayAlarmDate(request);
        return true;
    case ScheduleField::RepeatPeriod:
    case ScheduleField::RepeatCount:
        // No default here: a rule without a period or count reads as empty.
        *outcome = HoldsData(slot) ? WriteNumber(request.out, FirstByte(slot)) : ReadOutcome::kText;
        return true;
    case ScheduleField::Secret:
        *outcome = ReadFlag(slot, request.out);
        return true;
    default:
        return false;
    }
}

// The completion date is given only for a finished task.
ReadOutcome ReadToDoEndDate(const WorkingField* slot, char* out) {
    if (!HoldsData(slot)) return ReadOutcome::kQuiet;
    int32_t value = NumberValue(slot);
    if (value == 0) return ReadOutcome::kText;
    WorkingField* finishFlag = FindWorkingField(g_session.currentRecord, ToDoField::FinishFlag, nullptr);
    if (finishFlag == nullptr) {
        LogTrace("Quenda field id %d not found (qdb:%d)\n", static_cast<int>(ToDoField::EndDate),
                 static_cast<int>(kToDoDbId));
        return ReadOutcome::kQuiet;
    }
    if (HoldsValueByLength(finishFlag) && FirstByte(finishFlag) == 1) return WriteNumber(out, value);
    return ReadOutcome::kText;
}

bool ReadToDoField(uint32_t fieldId, const FieldRequest& request, ReadOutcome* outcome) {
    switch (fieldId) {
    case ToDoField::DueDate:
    case ToDoField::StartDate:
        *outcome = ReadOptionalDate(request.slot, request.out);
        return true;
    case ToDoField::EndDate:
        *outcome = ReadToDoEndDate(request.slot, request.out);
        return true;
    case ToDoField::Priority:
        *outcome = ReadPriority(request.slot, request.out);
        return true;
    case ToDoField::Category:
        *outcome = ReadCategory(request.slot, request.out);
        return true;
    case ToDoField::Secret:
        *outcome = ReadFlag(request.slot, request.out);
        return true;
    default:
        return false;
    }
}

bool ReadAddressField(uint32_t fieldId, const FieldRequest& request, ReadOutcome* outcome) {
    switch (fieldId) {
    case AddressField::Category:
        *outcome = ReadCategory(request.slot, request.out);
        return true;
    case AddressField::Secret:
        *outcome = ReadFlag(request.slot, request.out);
        return true;
    case AddressField::Birthday:
    case AddressField::Aniversary:
        *outcome = ReadOptionalDate(request.slot, request.out);
        return true;
    default:
        return false;
    }
}

// The date (".D") or time (".T") half of a 14-digit time stamp; Memo and
// E-mail share the rule and its trace line.
ReadOutcome ReadTimeStampHalf(const FieldRequest& request) {
    char selector = '\0';
    if (!FindSelector(request.idText, &selector)) {
        LogTrace("Invalid field format (1) in memo/ timestamp field\n");
        return ReadOutcome::kInvalid;
    }
    CopyTimeStampHalf(request.slot, selector, request.out);
    return ReadOutcome::kText;
}

ReadOutcome ReadMemoTimeStamp(const FieldRequest& request) {
    if (!HoldsData(request.slot)) return ReadOutcome::kText;
    return ReadTimeStampHalf(request);
}

bool ReadMemoField(uint32_t fieldId, const FieldRequest& request, ReadOutcome* outcome) {
    switch (fieldId) {
    case MemoField::Title:
        // The title is the memo's first line; the stored title is not read.
        CopyMemoTitle(FindWorkingField(g_session.currentRecord, MemoField::NoteText, nullptr), request.out);
        *outcome = ReadOutcome::kText;
        return true;
    case MemoField::TimeStamp:
        *outcome = ReadMemoTimeStamp(request);
        return true;
    case MemoField::NoteText:
        TakeMemoText(request.slot, request.out);
        *outcome = ReadOutcome::kText;
        return true;
    case MemoField::Category:
        *outcome = ReadOutcome::kText;
        return true;
    case MemoField::Secret:
        *outcome = ReadFlag(request.slot, request.out);
        return true;
    default:
        return false;
    }
}

bool ReadMailField(uint32_t fieldId, const FieldRequest& request, ReadOutcome* outcome) {
    switch (fieldId) {
    case MailField::SendDate:
        *outcome = ReadTimeStampHalf(request);
        return true;
    case MailField::IsRead:
        if (FindWorkingField(g_session.currentRecord, MailField::FolderID, nullptr) == nullptr) {
            LogTrace("in alarm special case: Folder id not found\n");
            *outcome = ReadOutcome::kQuiet;
        } else {
            *outcome = ReadFlag(request.slot, request.out);
        }
        return true;
    case MailField::Priority:
        *outcome = ReadPriority(request.slot, request.out);
        return true;
    default:
        return false;
    }
}

// The cases of the open database that depart from the general rule.
bool ReadSpecialCase(uint32_t fieldId, const FieldRequest& request, ReadOutcome* outcome) {
    switch (g_session.currentDbId) {
    case kScheduleDbId:
        return ReadScheduleField(fieldId, request, outcome);
    case kToDoDbId:
        return ReadToDoField(fieldId, request, outcome);
    case kAddressDbId:
        return ReadAddressField(fieldId, request, outcome);
    case kMemoDbId:
        return ReadMemoField(fieldId, request, outcome);
    case kMailDbId:
        return ReadMailField(fieldId, request, outcome);
    default:
        return false;
    }
}

bool IsDigit(char c) { return static_cast<unsigned>(c - '0') < 10u; }

// A decimal prefix, as atoi reads it, but without atoi's undefined
// overflow: the number wraps to 32 bits.  The host's own ids ("12",
// "12.T") are read digit by digit; anything else goes to strtoll.
int32_t ReadFieldNumber(const char* idText) {
    // Unsigned, so that a long run of digits wraps harmlessly before it is
    // handed on; nine digits or fewer never overflow.
    uint32_t value = 0;
    size_t digits = 0;
    for (; IsDigit(idText[digits]); ++digits) value = value * 10 + static_cast<uint32_t>(idText[digits] - '0');
    if (digits > 0 && digits <= 9) return static_cast<int32_t>(value);
    return static_cast<int32_t>(strtoll(idText, nullptr, 10));
}

// The id "UID", compared byte by byte: every field read asks, and this is
// cheaper than strcmp's call.  No byte past the text's NUL is read.
bool NamesRecordId(const char* idText) {
    return idText[0] == 'U' && idText[1] == 'I' && idText[2] == 'D' && idText[3] == '\0';
}

}  // namespace

bool FindSelector(const char* idText, char* selector) {
    const char* point = idText == nullptr ? nullptr : strchr(idText, '.');
    if (point == nullptr) return false;
    *selector = point[1];
    return true;
}

int32_t GetFieldText(const char* fieldId, char* hostOut) {
    // The host reads every field of every record through here: the entry
    // and "Returning" lines are checked for a reader in place, so that a
    // line nobody reads costs no call.
    ClearLastError();
    if (TraceLinesRead()) LogTrace("***** DIZ_API_GetField('%s', [OUT])\n", TraceText(fieldId));
    const char* idText = fieldId != nullptr ? fieldId : "";
    // A host that passes no buffer gets the same status and side effects
    // (a Memo text read still shortens the memo); the text goes nowhere.
    static char unused[kFieldTextSize];
    char* out = hostOut != nullptr ? hostOut : unused;
    out[0] = '\0';

    if (NamesRecordId(idText)) {
        // Without a current record there is no id to give.
        if (g_session.currentRecord != nullptr)
            WriteNumber(out, static_cast<int32_t>(g_session.currentRecord->recordId));
        LogTrace("Returning '%s'\n", out);
        return kResultOk;
    }
    int32_t hostId = ReadFieldNumber(idText);
    if (hostId == 0) {
        LogTrace("Field ID ('%s') is invalid in this context (converts to 0)\n", idText);
        return kResultInvalidField;
    }
    int32_t deviceId = hostId - 1;
    FieldRequest request{idText, nullptr, nullptr, out};
    // FindWorkingField's lookup, written out so that the usual answer needs no call.
    request.slot = FindWorkingFieldIn(g_session.currentFieldTable, g_session.currentRecord,
                                      static_cast<uint32_t>(deviceId), &request.descriptor);
    if (request.slot == nullptr) {
        LogTrace("Quenda field id %d not found (qdb:%d)\n", deviceId, static_cast<int>(g_session.currentDbId));
        return kResultOk;
    }

    ReadOutcome outcome = ReadOutcome::kText;
    if (!ReadSpecialCase(request.descriptor->fieldId, request, &outcome)) outcome = ReadByType(request);
    if (outcome == ReadOutcome::kInvalid) {
        out[0] = '\0';
        return kResultInvalidField;
    }
    if (outcome == ReadOutcome::kText && TraceLinesRead()) LogTrace("Returning '%s'\n", out);
    return kResultOk;
}
