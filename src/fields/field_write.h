/*
 * The write side of the host interface: the bodies of the exports that fill
 * the write record and derive its alarm, event and folder fields (storing
 * it is database/store_record.h).
 *
 * Each function is the whole export, its opening trace line and the
 * clearing (or keeping) of the last error included, so that the storing
 * operations can run DIZ_API_SetAlarm, DIZ_API_SetEventFlag and
 * DIZ_API_WriteFolderID exactly as the host would.  The exports in
 * exports/ only forward to them.
 */
#ifndef MORVANE_FIELDS_FIELD_WRITE_H
#define MORVANE_FIELDS_FIELD_WRITE_H

#include "exports/morvane_api.h"
#include <stdint.h>

struct WriteState;

// DIZ_API_PutField: converts value into the native form of field
// (fieldId - 1) of the write record and stores it there, keeping the
// parts of the alarm, start, Memo time stamp and E-mail send date that
// later steps combine.  0 (also for a field the database lacks), -8 for a
// bad identifier, part letter or field type, -9 when writeHeap is
// exhausted (last error out of memory).
int32_t PutFieldText(const char* fieldId, const char* value);

// DIZ_API_PutRepeatInfo: a Schedule repeat rule, or a single event's
// start and end dates, into the write record.  Always 0.
int32_t PutRepeatRule(const RepeatInfo& info);

// DIZ_API_SetAlarm: with the alarm flag written as set in this record,
// AlarmTime becomes the lead in minutes from the pending alarm date and
// time to the pending start, and AlarmUnit 1.  Keeps the last error.  0,
// or -9 when writeHeap is exhausted.
int32_t DeriveAlarm();

// The Schedule alarm lead in minutes from the pending alarm date and time
// to the pending start date and time: cut to 0xFFFF when longer, an alarm
// after the start kept as the low 16 bits of its negative lead.
uint16_t AlarmLeadMinutes(const WriteState& state);

// DIZ_API_SetEventFlag: EventFlag 1 for an all-day record.  Keeps the last
// error.  0, or -9 when writeHeap is exhausted.
int32_t DeriveEventFlag();

// DIZ_API_SetFolderID: the host folder (0-4) every E-mail record stored
// afterwards goes to.  0, or -8 for another number.
int32_t ChooseHostFolder(int32_t folder);

// DIZ_API_WriteFolderID: FolderID, IsSMS and Type of the write record for
// host folder 1-4.  0, -8 for another folder, -9 when writeHeap is
// exhausted.
int32_t WriteFolderFields(int32_t folder);

// DIZ_API_InsertRecord: prepares the write record for a new record of the
// open database.  0, or -9 when its slots cannot be allocated.
int32_t BeginNewRecord();

// DIZ_API_GetFieldByWriteRec: the value bytes of device field fieldId of
// the write record, NUL-terminated, into value (a field text buffer of
// kFieldTextSize bytes: at most kFieldTextLimit bytes are copied); value
// untouched when the field is missing or holds no bytes.  No trace, last
// error kept.  0.
int32_t CopyWriteRecordField(int32_t fieldId, char* value);

#endif
