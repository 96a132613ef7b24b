/*
 * How DIZ_API_PutField turns host text into the native value of one field
 * of the write record, once the slot has its bytes.
 *
 * The general rule goes by the field's device type code (flag "1"/"0",
 * numbers in decimal, text as it is); a fixed set of fields departs from
 * it: the Schedule alarm and start parts, the all-day flag, priorities
 * shifted by one, the "Secret" fields, the Memo time stamp and note, and
 * the E-mail send date and read flag.
 */
#ifndef MORVANE_FIELDS_PUT_FIELD_RULES_H
#define MORVANE_FIELDS_PUT_FIELD_RULES_H

#include "schema/working_record.h"
#include <stdint.h>

// The field PutField writes, as the rules need to see it.
struct FieldTarget {
    uint32_t dbId;           // the open database
    uint32_t fieldId;        // device field id
    uint32_t type;           // device type code
    WorkingField* slot;      // its slot in the write record
    const char* identifier;  // the host's field identifier text
    const char* value;       // the host's value text

    bool Is(uint32_t wantedDb, uint32_t wantedField) const { return dbId == wantedDb && fieldId == wantedField; }
};

// Memo TimeStamp is kept as YYYYMMDDhhmm, the E-mail SendDate as
// YYYYMMDDhhmmss.
constexpr uint32_t kMemoTimeStampLength = 12;
constexpr uint32_t kMailSendDateLength = 14;

// The part letter of an E-mail send date identifier ("11.D", "11.T"):
// its fourth character, whatever stands before it; 0 when it is shorter.
char MailDatePartLetter(const char* identifier);

// Bytes of the Memo Title in the write record, which NoteText repeats as
// its first line; 0 when the title holds no value.
uint32_t MemoTitleLength();

// Fills the slot's bytes (already allocated for the value's size) from
// the value text by the field's type and its special case.  0, or a traced
// -8 for a malformed Schedule alarm identifier.
int32_t ConvertFieldValue(const FieldTarget& target);

#endif
