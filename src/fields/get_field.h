/*
 * One field of the current record as host text: the work of
 * DIZ_API_GetField.
 *
 * The host names a field by its own number, the device field id plus 1, as
 * decimal text ("12"), optionally with a selector after a point ("12.D",
 * "12.T") for the fields that hold a date and a time; "UID" names the
 * record id.  Values are converted by the field's device type code, then by
 * a fixed set of cases per database (flags as "Yes"/"No", priorities one
 * lower, alarms as absolute dates and times, memo title and text from the
 * memo's lines, empty text for dates of 0, ...).
 *
 * Three reads depend on earlier ones of the same record: Schedule field 13
 * gives the date an earlier field 12 read moved the alarm to; the Memo
 * title and text see a text read before them; the repeat rule is reported
 * only after Schedule field 2 was read as "Yes".
 */
#ifndef MORVANE_FIELDS_GET_FIELD_H
#define MORVANE_FIELDS_GET_FIELD_H

#include "fields/field_text.h"

#include <stdint.h>

// Traces "***** DIZ_API_GetField('<fieldId>', [OUT])", clears the last
// error, and writes the field's text into out, which must hold
// kFieldTextSize bytes and is empty text whenever nothing else is written
// (out may be null: the text is then dropped, the result is the same).
// Returns 0, also when the field is missing (empty text), or -8 when the
// field id converts to 0, a field that needs a selector lacks a valid one,
// or the field's type code is not one of 1 to 9.
int32_t GetFieldText(const char* fieldId, char* out);

#endif
