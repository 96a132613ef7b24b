/*
 * The pieces of a field read that DIZ_API_GetField dispatches to.
 *
 * A read has found its slot in the current record; the reader writes the
 * host text into the request's buffer and says how the call ends.
 */
#ifndef MORVANE_FIELDS_FIELD_READ_H
#define MORVANE_FIELDS_FIELD_READ_H

#include "schema/field_table.h"
#include "schema/working_record.h"

#include <stdint.h>

enum class ReadOutcome {
    kText,     // the text stands; traced as "Returning '%s'", result 0
    kQuiet,    // result 0 without the "Returning" line (the reader traced why, or nothing)
    kInvalid,  // the field id text does not fit the field; result -8
};

struct FieldRequest {
    const char* idText;                 // the host's field id text, with its selector
    WorkingField* slot;                 // the slot found
    const FieldDescriptor* descriptor;  // and its descriptor
    char* out;                          // the host's buffer, already empty text
};

// The character right after the first '.' of a field id text ('\0' when
// the text ends there); false when the text has no '.'.
bool FindSelector(const char* idText, char* selector);

// Schedule AlarmTime (host field 12 with ".D" or ".T"): the absolute alarm
// date or time from the start and the lead in minutes.  Sets the session's
// alarmDayShift to the days the alarm falls before the start date.
ReadOutcome ReadAlarmTime(const FieldRequest& request);

// Schedule AlarmUnit (host field 13): the date an earlier alarm read
// shifted to (consuming the shift), an all-day event's alarm date, or the
// stored unit.
ReadOutcome ReadAllDayAlarmDate(const FieldRequest& request);

// The open database is the Schedule and the current record's AllDayFlag
// holds a nonzero first byte (judged by length).
bool IsAllDayEvent();

#endif
