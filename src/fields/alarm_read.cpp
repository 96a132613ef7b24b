// The Schedule alarm as the host reads it.  The device keeps an alarm as a
// lead in minutes before the event's start; the host wants the alarm's own
// date and time, and for an all-day event the alarm's date in field 13.
#include "fields/date_convert.h"
#include "fields/field_read.h"
#include "fields/field_text.h"
#include "fields/field_value.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "support/decimal_text.h"
#include "support/trace_log.h"

#include <stdio.h>

namespace {

// The start instant of an event: a day number and seconds since midnight.
struct Instant {
    int32_t day;
    int32_t seconds;
};

Instant StartInstant(int32_t fromDate, int16_t fromTime) {
    return Instant{DateNumberToDayNumber(fromDate), TimeNumberToSeconds(fromTime)};
}

int32_t StartDayNumber(int32_t fromDate) { return StartInstant(fromDate, 0).day; }

// Moves the alarm instant, start minus the lead, into its own day; the
// days it moved back become the session's alarmDayShift.
Instant AlarmInstant(Instant start, int32_t leadMinutes) {
    Instant alarm = start;
    alarm.seconds -= 60 * leadMinutes;
    if (alarm.seconds < 0) {
        int32_t back = (kSecondsPerDay - 1 - alarm.seconds) / kSecondsPerDay;
        alarm.day -= back;
        alarm.seconds += back * kSecondsPerDay;
        g_session.alarmDayShift = back;
    } else if (alarm.seconds >= kSecondsPerDay) {
        // A negative lead past midnight: the alarm falls on a later day,
        // which the shift records as negative days before the start.
        int32_t ahead = alarm.seconds / kSecondsPerDay;
        alarm.day += ahead;
        alarm.seconds -= ahead * kSecondsPerDay;
        g_session.alarmDayShift = -ahead;
    }
    return alarm;
}

WorkingField* FindOrTrace(uint32_t fieldId, const char* missingLine) {
    WorkingField* slot = FindWorkingField(g_session.currentRecord, fieldId, nullptr);
    if (slot == nullptr) LogTrace("%s", missingLine);
    return slot;
}

}  // namespace

ReadOutcome ReadAlarmTime(const FieldRequest& request) {
    char selector = '\0';
    if (!FindSelector(request.idText, &selector)) {
        LogTrace("Invalid field format (1) in scheule/alarm field\n");
        return ReadOutcome::kInvalid;
    }
    if (selector != 'T' && selector != 'D') {
        LogTrace("Invalid field format (2) in scheule/alarm field\n");
        return ReadOutcome::kInvalid;
    }
    WorkingField* alarmFlag = FindOrTrace(ScheduleField::AlarmFlag, "in alarm special case: AlarmFlag not found\n");
    if (alarmFlag == nullptr) return ReadOutcome::kQuiet;
    WorkingField* fromDate = FindOrTrace(ScheduleField::FromDate, "in alarm special case: FromDate not found\n");
    if (fromDate == nullptr) return ReadOutcome::kQuiet;
    WorkingField* fromTime = FindOrTrace(ScheduleField::FromTime, "in alarm special case: FromTime not found\n");
    if (fromTime == nullptr) return ReadOutcome::kQuiet;
    if (FindOrTrace(ScheduleField::AlarmUnit, "in alarm special case: AlarmUnit not found\n") == nullptr)
        return ReadOutcome::kQuiet;

    bool alarmOn = HoldsValueByLength(alarmFlag) && FirstByte(alarmFlag) != 0;
    int32_t startDate = HoldsValueByLength(fromDate) ? NumberValue(fromDate) : 0;
    int16_t startTime = HoldsValueByLength(fromTime) ? ShortNumberValue(fromTime) : 0;
    int16_t lead = HoldsValueByLength(request.slot) ? ShortNumberValue(request.slot) : 0;
    if (!alarmOn) {
        snprintf(request.out, kFieldTextSize, "%s", selector == 'T' ? "0000" : "00000000");
        return ReadOutcome::kText;
    }

    g_session.alarmDayShift = 0;
    // The alarm's time needs only the start's seconds, not its day number.
    Instant start = selector == 'D' ? StartInstant(startDate, startTime) : Instant{0, TimeNumberToSeconds(startTime)};
    LogTrace("alarm info:  fromDate[%08d] fromTime[%04d] coef[%d] unit[%d]\n", startDate, startTime, lead, 1);
    Instant alarm = AlarmInstant(start, lead);
    if (selector == 'T') {
        const size_t hours = FormatDecimal(alarm.seconds / 3600, 2, request.out);
        FormatDecimal((alarm.seconds / 60) % 60, 2, request.out + hours);
    } else {
        DayNumberToDateText(alarm.day, request.out);
    }
    return ReadOutcome::kText;
}

ReadOutcome ReadAllDayAlarmDate(const FieldRequest& request) {
    WorkingField* alarmFlag = FindOrTrace(ScheduleField::AlarmFlag, "in alarm special case: AlarmFlag not found\n");
    if (alarmFlag == nullptr) return ReadOutcome::kQuiet;
    WorkingField* fromDate = FindOrTrace(ScheduleField::FromDate, "in alarm special case: FromDate not found\n");
    if (fromDate == nullptr) return ReadOutcome::kQuiet;
    // A record without AllDayFlag counts as a timed event.
    WorkingField* allDayFlag = FindWorkingField(g_session.currentRecord, ScheduleField::AllDayFlag, nullptr);
    WorkingField* alarmTime =
        FindOrTrace(ScheduleField::AlarmTime, "in alarm time special case: AlarmTime not found\n");
    if (alarmTime == nullptr) return ReadOutcome::kQuiet;

    int32_t startDate = HoldsValueByLength(fromDate) ? NumberValue(fromDate) : 0;
    if (g_session.alarmDayShift != 0) {
        DayNumberToDateText(StartDayNumber(startDate) - g_session.alarmDayShift, request.out);
        g_session.alarmDayShift = 0;
        return ReadOutcome::kText;
    }
    bool allDay = HoldsValueByLength(allDayFlag) && FirstByte(allDayFlag) != 0;
    bool alarmOn = HoldsValueByLength(alarmFlag) && FirstByte(alarmFlag) != 0;
    if (allDay && alarmOn) {
        // A nonzero lead on an all-day event rings the day before.
        bool leadSet = HoldsValueByLength(alarmTime) && ShortNumberValue(alarmTime) != 0;
        DayNumberToDateText(StartDayNumber(startDate) - (leadSet ? 1 : 0), request.out);
        return ReadOutcome::kText;
    }
    FormatDecimal(HoldsData(request.slot) ? FirstByte(request.slot) : 2, 0, request.out);
    return ReadOutcome::kText;
}

bool IsAllDayEvent() {
    if (g_session.currentDbId != kScheduleDbId) return false;
    WorkingField* allDayFlag = FindWorkingField(g_session.currentRecord, ScheduleField::AllDayFlag, nullptr);
    return HoldsValueByLength(allDayFlag) && FirstByte(allDayFlag) != 0;
}
