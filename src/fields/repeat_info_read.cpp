// The repeat rule of a Schedule event, as the host's RepeatInfo.
#include "fields/field_value.h"
#include "fields/record_info.h"
#include "session/call_frame.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "support/decimal_text.h"
#include "support/trace_log.h"

#include <string.h>

namespace {

// The date texts of RepeatInfo hold eight digits and their NUL.
constexpr size_t kRepeatDateChars = 8;

WorkingField* FindScheduleField(uint32_t fieldId) {
    return FindWorkingField(g_session.currentRecord, fieldId, nullptr);
}

// The first maxChars characters of a number's decimal text.
void WriteDecimalPrefix(char (&text)[10], int32_t value, size_t maxChars) {
    char digits[kDecimalTextSize];
    size_t length = FormatDecimal(value, 0, digits);
    if (length > maxChars) length = maxChars;
    memcpy(text, digits, length);
    text[length] = '\0';
}

// The first eight characters of a date number's decimal text.
void WriteDateDigits(char (&text)[10], int32_t value) { WriteDecimalPrefix(text, value, kRepeatDateChars); }

// The whole decimal text, as far as the ten bytes of the field hold it.
void WriteDateText(char (&text)[10], int32_t value) { WriteDecimalPrefix(text, value, sizeof text - 1); }

uint8_t ByteByLength(const WorkingField* slot) { return HoldsValueByLength(slot) ? FirstByte(slot) : 0; }

// A field of the rule; a missing one is traced with its own line.
WorkingField* FindRuleField(uint32_t fieldId, const char* missingLine) {
    WorkingField* slot = FindScheduleField(fieldId);
    if (slot == nullptr) LogTrace("%s", missingLine);
    return slot;
}

// Fills the rule of a repeating event; a missing field ends it where it is.
void FillRepeatRule(RepeatInfo* info) {
    info->isRepeating = 1;
    WorkingField* slot =
        FindRuleField(ScheduleField::RepeatPeriod, "Quenda field RepeatPeriod-> Schedule field not found *****\n");
    if (slot == nullptr) return;
    info->repeatPeriod = ByteByLength(slot);
    slot = FindRuleField(ScheduleField::RepeatCount, "Quenda field RepeatCount-> Schedule field not found *****\n");
    if (slot == nullptr) return;
    info->repeatCount = ByteByLength(slot);
    slot = FindRuleField(ScheduleField::DeleteFlag, "Quenda field DeleteFlag -> Schedule field not found *****\n");
    if (slot == nullptr) return;
    info->deleteFlag = ByteByLength(slot);
    slot = FindRuleField(ScheduleField::FromDate, "Quenda field FromDate -> Schedule field not found *****\n");
    if (slot == nullptr) return;
    if (HoldsValueByLength(slot)) WriteDateDigits(info->startDate, NumberValue(slot));
    slot = FindRuleField(ScheduleField::RepeatEndDate, "Quenda field RpEndDate -> Schedule field not found *****\n");
    if (slot == nullptr) return;
    if (HoldsValueByLength(slot)) {
        // An end date of 0 is a rule without end.
        int32_t endDate = NumberValue(slot);
        if (endDate == 0)
            WriteDateText(info->endDate, -1);
        else
            WriteDateDigits(info->endDate, endDate);
    }
    slot = FindRuleField(ScheduleField::DayPattern, "Quenda field DayPattern -> Schedule field not found *****\n");
    if (slot == nullptr || !HoldsValueByLength(slot)) return;
    uint16_t pattern = static_cast<uint16_t>(ShortNumberValue(slot));
    for (size_t day = 0; day < sizeof info->weekDays; ++day) info->weekDays[day] = (pattern & kWeekDayBits[day]) != 0;
}

// A single event: its start date, and as end the start again unless it is
// an all-day event over several days.
void FillEventDates(RepeatInfo* info) {
    WorkingField* allDayFlag = FindScheduleField(ScheduleField::AllDayFlag);
    if (allDayFlag == nullptr) return;
    WorkingField* fromDate = FindScheduleField(ScheduleField::FromDate);
    if (fromDate == nullptr) return;
    int32_t start = 0;
    if (HoldsValueByLength(fromDate)) {
        start = NumberValue(fromDate);
        WriteDateText(info->startDate, start);
    }
    WorkingField* toDate = FindScheduleField(ScheduleField::ToDate);
    if (toDate == nullptr) return;
    int32_t end = HoldsValueByLength(toDate) ? NumberValue(toDate) : 0;
    if (ByteByLength(allDayFlag) != 0 && start != end)
        WriteDateText(info->endDate, end == 0 ? -1 : end);
    else
        WriteDateText(info->endDate, start);
}

}  // namespace

int32_t FillRepeatInfo(RepeatInfo* info) {
    EnterExport(ClearMode::kClear, "***** DIZ_API_GetRepeatInfo()\n");
    if (info == nullptr) return kResultOk;
    memset(info, 0, sizeof *info);
    if (g_session.recordRepeats != 0)
        FillRepeatRule(info);
    else
        FillEventDates(info);
    return kResultOk;
}
