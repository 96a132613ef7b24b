// DIZ_API_PutRepeatInfo: the host's repeat structure into the Schedule
// fields of the write record.
#include "fields/field_write.h"
#include "fields/write_value.h"

#include "schema/field_table.h"
#include "session/call_frame.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

#include <string.h>

namespace {

using namespace field_write;

// Device day-pattern bit of each host week day, the host's first day
// first (the same order DIZ_API_GetRepeatInfo reads in).
static const uint16_t kDayMasks[7] = {0x40, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20};

// The structure's date texts have room for 10 characters; one that fills
// them without a terminator is read no further.
int32_t DateNumber(const char (&text)[10]) {
    char copy[sizeof text + 1] = {};
    memcpy(copy, text, sizeof text);
    return ReadDecimalText(copy);
}

// One step of the rule: the field gets a fresh value of width bytes
// (stored with length bytes) holding value.  A missing field traces
// missingLine and stops the rule; so does exhausted memory.
struct RuleWriter {
    int32_t result = kResultOk;
    bool stopped = false;

    bool Write(uint32_t fieldId, uint32_t width, uint32_t value, const char* missingLine, uint32_t length = 0) {
        if (stopped) return false;
        WorkingField* slot = FindWorkingField(&g_session.writeRecord, fieldId, nullptr);
        if (slot == nullptr) {
            if (missingLine != nullptr) LogTrace("%s", missingLine);
            stopped = missingLine != nullptr;
            return false;
        }
        uint8_t* bytes = NewSlotValue(slot, width);
        if (bytes == nullptr) {
            result = ReportValueMemoryFailure(width);
            stopped = true;
            return false;
        }
        StoreLittleEndian(bytes, value, width);
        if (length != 0) slot->length = length;
        return true;
    }
};

void WriteRepeatingRule(const RepeatInfo& info, RuleWriter& rule) {
    rule.Write(ScheduleField::RepeatFlag, 1, info.isRepeating, "in alarm special case: RepeatPeriod not found\n");
    rule.Write(ScheduleField::RepeatPeriod, 1, info.repeatPeriod, "in alarm special case: RepeatPeriod not found\n");
    rule.Write(ScheduleField::RepeatCount, 1, info.repeatCount, "in alarm special case: RepeatCount not found\n");
    rule.Write(ScheduleField::DeleteFlag, 1, info.deleteFlag, "in alarm special case: DeleteFlag not found\n");
    if (rule.stopped) return;

    const WorkingField* fromDate = FindWorkingField(&g_session.writeRecord, ScheduleField::FromDate, nullptr);
    if (fromDate == nullptr) {
        LogTrace("in alarm special case: FromDate not found\n");
        return;
    }
    // A start date the host already wrote stands; only a new record
    // without one takes the rule's.
    if (fromDate->length == 0) {
        rule.Write(ScheduleField::FromDate, 4, static_cast<uint32_t>(DateNumber(info.startDate)), nullptr);
    }
    rule.Write(ScheduleField::RepeatEndDate, 4, static_cast<uint32_t>(DateNumber(info.endDate)),
               "in alarm special case: RpEndDate not found\n");
    uint16_t pattern = 0;
    for (size_t day = 0; day < sizeof kDayMasks / sizeof kDayMasks[0]; ++day) {
        if (info.weekDays[day] != 0) pattern |= kDayMasks[day];
    }
    // Every day bit is in the low byte, which is all that is sent.
    rule.Write(ScheduleField::DayPattern, 2, pattern, "in repeat case: DayPattern not found\n", 1);
    if (rule.stopped) return;

    const WorkingField* allDay = FindWorkingField(&g_session.writeRecord, ScheduleField::AllDayFlag, nullptr);
    if (HoldsWrittenValue(allDay) && allDay->data[0] != 0) {
        // A repeating all-day event lasts one day each time.
        rule.Write(ScheduleField::ToDate, 4, static_cast<uint32_t>(DateNumber(info.startDate)), nullptr);
    }
}

}  // namespace

int32_t PutRepeatRule(const RepeatInfo& info) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_PutRepeatInfo(...)\n");
    RuleWriter rule;
    if (info.isRepeating != 0) {
        WriteRepeatingRule(info, rule);
    } else {
        // A single event: the structure's dates stand over what PutField wrote.
        rule.Write(ScheduleField::ToDate, 4, static_cast<uint32_t>(DateNumber(info.endDate)), nullptr);
        rule.Write(ScheduleField::FromDate, 4, static_cast<uint32_t>(DateNumber(info.startDate)), nullptr);
    }
    return rule.result;
}
