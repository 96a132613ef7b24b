// DIZ_API_SetAlarm and DIZ_API_SetEventFlag: the Schedule fields derived
// from what DIZ_API_PutField collected.
#include "fields/date_convert.h"
#include "fields/field_write.h"
#include "fields/write_value.h"

#include "schema/field_table.h"
#include "session/call_frame.h"
#include "session/find_field.h"
#include "session/sync_session.h"
#include "support/trace_log.h"

#include <stdio.h>

namespace {

using namespace field_write;

// The device keeps an alarm as a 16-bit lead in minutes; longer leads are
// cut to the largest it holds.
constexpr int32_t kLongestLead = 0xFFFF;

int32_t TimeSeconds(int16_t hhmm) {
    char text[16];
    snprintf(text, sizeof text, "%04d", hhmm);
    return TimeTextToSeconds(text);
}

int32_t DayNumber(int32_t yyyymmdd) {
    char text[16];
    snprintf(text, sizeof text, "%d", yyyymmdd);
    return DateTextToDayNumber(text);
}

}  // namespace

// Minutes from the alarm instant to the start instant.  An alarm after the
// start gives a negative lead, kept as its low 16 bits.
uint16_t AlarmLeadMinutes(const WriteState& state) {
    const int32_t startSeconds = TimeSeconds(state.pendingStartTime);
    const int32_t alarmSeconds = TimeSeconds(state.pendingAlarmTime);
    int64_t lead = startSeconds - alarmSeconds;
    if (state.pendingStartDate != state.pendingAlarmDate) {
        const int64_t days = int64_t{DayNumber(state.pendingStartDate)} - DayNumber(state.pendingAlarmDate);
        lead += days * kSecondsPerDay;
    }
    int64_t minutes = lead / 60;
    if (minutes > kLongestLead) minutes = kLongestLead;
    return static_cast<uint16_t>(minutes);
}

int32_t DeriveAlarm() {
    const WriteState& state = g_session.writeState;
    EnterExport(ClearMode::kKeep, "***** DIZ_API_SetAlarm('%d', '%d')\n", state.pendingAlarmTime,
                state.pendingAlarmDate);
    if (state.alarmFlagSet == 0) return kResultOk;
    const uint16_t minutes = AlarmLeadMinutes(state);

    WorkingField* unit = FindWorkingField(&g_session.writeRecord, ScheduleField::AlarmUnit, nullptr);
    if (unit == nullptr) {
        LogTrace("in alarm special case: AlarmDate not found\n");
        return kResultOk;
    }
    uint8_t* unitByte = NewSlotValue(unit, 1);
    if (unitByte == nullptr) return ReportValueMemoryFailure(1);
    *unitByte = 1;

    WorkingField* alarm = FindWorkingField(&g_session.writeRecord, ScheduleField::AlarmTime, nullptr);
    if (alarm == nullptr) {
        LogTrace("in alarm special case: AlarmDate not found\n");
        return kResultOk;
    }
    // PutField gave the alarm parts a value of their own; reuse it.
    if (alarm->data == nullptr && NewSlotValue(alarm, 2) == nullptr) return ReportValueMemoryFailure(2);
    StoreLittleEndian(alarm->data, minutes, 2);
    return kResultOk;
}

int32_t DeriveEventFlag() {
    EnterExport(ClearMode::kKeep, "***** DIZ_API_SetEventFlag()\n");
    if (g_session.writeState.allDay == 0) return kResultOk;
    WorkingField* event = FindWorkingField(&g_session.writeRecord, ScheduleField::EventFlag, nullptr);
    if (event == nullptr) {
        LogTrace("Field EventFlag not found\n");
        return kResultOk;
    }
    uint8_t* flag = NewSlotValue(event, 1);
    if (flag == nullptr) return ReportValueMemoryFailure(1);
    *flag = 1;
    return kResultOk;
}
