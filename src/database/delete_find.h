/*
 * Deleting a device record and finding one to change, both named by the
 * record id as decimal text, as the adapter gave it to the host.  A record
 * of the companion E-mail database (bit 31 set) is written as a negative
 * number.
 */
#ifndef MORVANE_DATABASE_DELETE_FIND_H
#define MORVANE_DATABASE_DELETE_FIND_H

#include <stdint.h>

// The record id of a host text: a signed decimal read as atoi reads it
// (leading blanks, an optional sign, digits up to the first other
// character), taken as 32 bits.  0 for a text without digits.
uint32_t ReadRecordIdText(const char* text);

// DIZ_API_DeleteRecord: removes the record from the open database at once.
// 0, or -10 for id 0 or when the device refuses (last error: the link's).
int32_t DeleteRecordByIdText(const char* recordIdText);

// DIZ_API_FindRecord: prepares the write record for a change of that
// record (every field absent until written); no device call.  0, or -11 for
// id 0 or when the write record cannot be prepared.
int32_t FindRecordByIdText(const char* recordIdText);

#endif
